// The vector lane number of the core's physics: a vector of floats of the widest vector
// the processor has, one point per lane, with the lane functions the physics needs, and the
// physics instantiated over it in namespace ornax_lanes::HWY_NAMESPACE. Included once per
// instruction set by a file compiled through Highway's foreach_target; that file defines
// HWY_DISABLED_TARGETS before it includes Highway (sizeless vector types cannot be members
// of the lane number).
#if defined(ORNAX90_LANES_VECTOR_INL_HPP_) == defined(HWY_TARGET_TOGGLE)
#ifdef ORNAX90_LANES_VECTOR_INL_HPP_
#undef ORNAX90_LANES_VECTOR_INL_HPP_
#else
#define ORNAX90_LANES_VECTOR_INL_HPP_
#endif

#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/lanes/pbl_table.hpp"
#include "utils/fixed_text.hpp"
#include "ornax90/ornax_constants_mod.hpp"

HWY_BEFORE_NAMESPACE();
namespace ornax_lanes {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;
using Lanetag = hn::ScalableTag<float>;
using Laneint = hn::RebindToSigned<Lanetag>;

// Lane number: a vector of floats, one point per lane, and its mask.
struct Lanem {
    hn::Mask<Lanetag> m;
};
struct Lanef {
    hn::Vec<Lanetag> v;
    Lanef() = default;
    HWY_INLINE Lanef(float x) : v(hn::Set(Lanetag(), x)) {}  // NOLINT: numbers mix with floats
    HWY_INLINE explicit Lanef(hn::Vec<Lanetag> x) : v(x) {}
};

HWY_INLINE Lanef operator+(Lanef a, Lanef b) {
    return Lanef(hn::Add(a.v, b.v));
}
HWY_INLINE Lanef operator-(Lanef a, Lanef b) {
    return Lanef(hn::Sub(a.v, b.v));
}
HWY_INLINE Lanef operator*(Lanef a, Lanef b) {
    return Lanef(hn::Mul(a.v, b.v));
}
HWY_INLINE Lanef operator/(Lanef a, Lanef b) {
    return Lanef(hn::Div(a.v, b.v));
}
HWY_INLINE Lanef operator-(Lanef a) {
    return Lanef(hn::Neg(a.v));
}
HWY_INLINE Lanem operator<(Lanef a, Lanef b) {
    return {hn::Lt(a.v, b.v)};
}
HWY_INLINE Lanem operator<=(Lanef a, Lanef b) {
    return {hn::Le(a.v, b.v)};
}
HWY_INLINE Lanem operator>(Lanef a, Lanef b) {
    return {hn::Gt(a.v, b.v)};
}
HWY_INLINE Lanem operator>=(Lanef a, Lanef b) {
    return {hn::Ge(a.v, b.v)};
}
HWY_INLINE Lanem operator==(Lanef a, Lanef b) {
    return {hn::Eq(a.v, b.v)};
}
HWY_INLINE Lanem operator!=(Lanef a, Lanef b) {
    return {hn::Ne(a.v, b.v)};
}
HWY_INLINE Lanem operator&&(Lanem a, Lanem b) {
    return {hn::And(a.m, b.m)};
}
HWY_INLINE Lanem operator||(Lanem a, Lanem b) {
    return {hn::Or(a.m, b.m)};
}
HWY_INLINE Lanem operator!(Lanem a) {
    return {hn::Not(a.m)};
}

HWY_INLINE Lanef lane_exp(Lanef x) {
    return Lanef(hn::Exp(Lanetag(), x.v));
}
HWY_INLINE Lanef lane_log(Lanef x) {
    return Lanef(hn::Log(Lanetag(), x.v));
}
HWY_INLINE Lanef lane_log10(Lanef x) {
    return Lanef(hn::Log10(Lanetag(), x.v));
}
// x^y as exp(y ln x) for x > 0; 0 for x = 0 (no lane that is kept has x < 0)
HWY_INLINE Lanef lane_pow(Lanef x, Lanef y) {
    const Lanetag d;
    const auto p = hn::Exp(d, hn::Mul(y.v, hn::Log(d, x.v)));
    return Lanef(hn::IfThenElseZero(hn::Gt(x.v, hn::Zero(d)), p));
}
// base^y for a constant base > 0, the same numbers as lane_pow gives, from the logarithm
// log_base of the base taken once (lane_log of it)
HWY_INLINE Lanef lane_pow_of(float base, float log_base, Lanef y) {
    const Lanetag d;
    if (!(base > 0.0f)) return Lanef(0.0f);
    return Lanef(hn::Exp(d, hn::Mul(y.v, hn::Set(d, log_base))));
}
// x^a, and m^b and m^c for m = lane_min(x, limit), the same numbers as lane_pow gives,
// from one logarithm: log_limit is lane_log of the limit
HWY_INLINE void lane_powers_below(Lanef x, float limit, float log_limit, float a, float b, float c,
                                  Lanef& xa, Lanef& mb, Lanef& mc) {
    const Lanetag d;
    const auto ln_x = hn::Log(d, x.v);
    const auto over = hn::Lt(hn::Set(d, limit), x.v);
    const auto m = hn::IfThenElse(over, hn::Set(d, limit), x.v);
    const auto ln_m = hn::IfThenElse(over, hn::Set(d, log_limit), ln_x);
    const auto x_positive = hn::Gt(x.v, hn::Zero(d)), m_positive = hn::Gt(m, hn::Zero(d));
    xa = Lanef(hn::IfThenElseZero(x_positive, hn::Exp(d, hn::Mul(hn::Set(d, a), ln_x))));
    mb = Lanef(hn::IfThenElseZero(m_positive, hn::Exp(d, hn::Mul(hn::Set(d, b), ln_m))));
    mc = Lanef(hn::IfThenElseZero(m_positive, hn::Exp(d, hn::Mul(hn::Set(d, c), ln_m))));
}
// m^b and m^c for m = lane_min(x, limit), as lane_powers_below gives them
HWY_INLINE void lane_powers_of_min(Lanef x, float limit, float log_limit, float b, float c,
                                   Lanef& mb, Lanef& mc) {
    const Lanetag d;
    const auto ln_x = hn::Log(d, x.v);
    const auto over = hn::Lt(hn::Set(d, limit), x.v);
    const auto m = hn::IfThenElse(over, hn::Set(d, limit), x.v);
    const auto ln_m = hn::IfThenElse(over, hn::Set(d, log_limit), ln_x);
    const auto m_positive = hn::Gt(m, hn::Zero(d));
    mb = Lanef(hn::IfThenElseZero(m_positive, hn::Exp(d, hn::Mul(hn::Set(d, b), ln_m))));
    mc = Lanef(hn::IfThenElseZero(m_positive, hn::Exp(d, hn::Mul(hn::Set(d, c), ln_m))));
}
HWY_INLINE float lane_first(Lanef x) {
    return hn::GetLane(x.v);
}
HWY_INLINE Lanef lane_sqrt(Lanef x) {
    return Lanef(hn::Sqrt(x.v));
}
HWY_INLINE Lanef lane_sin(Lanef x) {
    return Lanef(hn::Sin(Lanetag(), x.v));
}
HWY_INLINE Lanef lane_cos(Lanef x) {
    return Lanef(hn::Cos(Lanetag(), x.v));
}
HWY_INLINE Lanef lane_asin(Lanef x) {
    return Lanef(hn::Asin(Lanetag(), x.v));
}
HWY_INLINE Lanef lane_acos(Lanef x) {
    return Lanef(hn::Acos(Lanetag(), x.v));
}
HWY_INLINE Lanef lane_abs(Lanef x) {
    return Lanef(hn::Abs(x.v));
}
// min and max as std::min and std::max: the first argument when either is not a number
HWY_INLINE Lanef lane_min(Lanef a, Lanef b) {
    return Lanef(hn::IfThenElse(hn::Lt(b.v, a.v), b.v, a.v));
}
HWY_INLINE Lanef lane_max(Lanef a, Lanef b) {
    return Lanef(hn::IfThenElse(hn::Lt(a.v, b.v), b.v, a.v));
}
HWY_INLINE Lanef lane_trunc(Lanef x) {
    return Lanef(hn::Trunc(x.v));
}
HWY_INLINE Lanef lane_select(Lanem m, Lanef yes, Lanef no) {
    return Lanef(hn::IfThenElse(m.m, yes.v, no.v));
}
HWY_INLINE bool lane_any(Lanem m) {
    return !hn::AllFalse(Lanetag(), m.m);
}
HWY_INLINE bool lane_all(Lanem m) {
    return hn::AllTrue(Lanetag(), m.m);
}
// Whether a and b hold the same bits in every lane (a number that is not one, or a zero of
// the other sign, differs).
HWY_INLINE bool lane_same_bits(Lanef a, Lanef b) {
    const Laneint di;
    return hn::AllTrue(di, hn::Eq(hn::BitCast(di, a.v), hn::BitCast(di, b.v)));
}

// The boundary-layer tables of the lanes: lane l reads the table of its working state,
// whose entries are written on demand.
struct Lanetable {
    std::vector<Ornaxdailyvartype>* states;
    HWY_INLINE Lanef entry(Lanef index, bool integral) const {
        const Lanetag d;
        HWY_ALIGN float value[hn::MaxLanes(d)];
        HWY_ALIGN int32_t row[hn::MaxLanes(d)];
        hn::Store(hn::ConvertTo(Laneint(), index.v), Laneint(), row);
        for (std::size_t l = 0; l < hn::Lanes(d); ++l) {
            const Ornaxpblentry e = lanes_pbl_table_entry((*states)[l], row[l]);
            value[l] = integral ? e.integral : e.height;
        }
        return Lanef(hn::Load(d, value));
    }
    HWY_INLINE Lanef integral_at(Lanef index) const { return entry(index, true); }
    HWY_INLINE Lanef height_at(Lanef index) const { return entry(index, false); }
};

#include "ornax90/lanes/physics-inl.hpp"

}  // namespace HWY_NAMESPACE
}  // namespace ornax_lanes
HWY_AFTER_NAMESPACE();

#endif  // ORNAX90_LANES_VECTOR_INL_HPP_
