// The Python module _ornax: the model core over numpy arrays (run_points), the site run
// (read_site, run_site) and the vocabularies of outputs and quality flags, all read from
// the program's own tables.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <filesystem>
#include <map>
#include <stdexcept>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/output/vocabulary.hpp"
#include "ornax90/output/quality.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"
#include "ornax90/command_line/version.hpp"
#include "utils/fixed_text.hpp"
#include "python/points.hpp"

namespace py = pybind11;

namespace {

inline constexpr int site_last_class = 19;  // classes a site may use: 1..19

// The log lines gathered while a call ran, one per line, for an exception's text.
std::string gathered_text(const Ornaxmessagebuffer& messages) {
    std::string text;
    for (const auto& e : messages.entries) {
        if (e.channel == Ornaxmessagebuffer::Channel::append) continue;
        text += "\n  " + trim_both(e.text);
    }
    return text;
}

py::list output_variables() {
    py::list rows;
    for (int code = 1; code <= ornax_max_out_vars; ++code) {
        const std::string name(ornax_output_var_name(code));
        Ornaxoutputvarinfotype info;
        ornax_output_var_info(name, info);
        rows.append(py::dict(py::arg("code") = code, py::arg("name") = name,
                             py::arg("description") = info.description,
                             py::arg("units") = info.units, py::arg("cf_units") = info.cf_units,
                             py::arg("standard_name") = info.standard_name));
    }
    return rows;
}

py::list quality_flags() {
    py::list rows;
    for (const Ornaxqualityflaginfotype& f : ornax_quality_flags())
        rows.append(py::make_tuple(f.value, f.meaning, f.label));
    return rows;
}

py::list point_fields() {
    py::list rows;
    for (const Ornaxpointfieldinfo& f : ornax_point_fields()) {
        const char* kind = f.kind == Ornaxpointfieldkind::scalar   ? "point"
                           : f.kind == Ornaxpointfieldkind::levels ? "levels"
                                                                   : "hours";
        rows.append(py::make_tuple(f.name, kind, f.required));
    }
    return rows;
}

// A numpy array that takes over the vector's memory (no copy); the array frees it.
template <class T> py::array_t<T> adopt_numpy(std::vector<T>&& v) {
    auto* owned = new std::vector<T>(std::move(v));
    py::capsule release(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), release);
}

template <class T> py::array_t<T> to_numpy(const std::vector<T>& v) {
    py::array_t<T> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

// An input of run_points read in place: float32 or float64 of the points' shape, with
// the levels or hours of a series on one more, last axis; any strides.
Ornaxpointarray point_array(const std::string& name, const py::array& a,
                            const std::vector<std::size_t>& shape, int series) {
    const bool single = py::isinstance<py::array_t<float>>(a);
    if (!single && !py::isinstance<py::array_t<double>>(a))
        throw py::type_error(name + ": float32 or float64 values expected, got " +
                             py::str(a.dtype()).cast<std::string>());
    const std::size_t axes = shape.size() + (series > 0 ? 1 : 0);
    bool fits = static_cast<std::size_t>(a.ndim()) == axes;
    for (std::size_t d = 0; fits && d < shape.size(); ++d)
        fits = static_cast<std::size_t>(a.shape(static_cast<py::ssize_t>(d))) == shape[d];
    if (fits && series > 0) fits = a.shape(static_cast<py::ssize_t>(shape.size())) == series;
    if (!fits) {
        std::string extents;
        for (py::ssize_t d = 0; d < a.ndim(); ++d) {
            if (d > 0) extents += ", ";
            extents += std::to_string(a.shape(d));
        }
        throw py::value_error(name + ": shape (" + extents + ") is not the points' shape" +
                              (series > 0 ? " with " + std::to_string(series) + " values" : ""));
    }
    Ornaxpointarray view;
    view.data = a.data();
    view.double_precision = !single;
    for (std::size_t d = 0; d < shape.size(); ++d)
        view.strides.push_back(a.strides(static_cast<py::ssize_t>(d)));
    if (series > 0) view.series_stride = a.strides(static_cast<py::ssize_t>(shape.size()));
    return view;
}

py::tuple run_points(const py::dict& inputs, const std::vector<std::size_t>& shape, int nlevels,
                     int region_switch, int threads, bool one_lane, bool flag_invalid) {
    Ornaxpointsrequest rq;
    rq.shape = shape;
    rq.nlevels = nlevels;
    rq.region_switch = region_switch;
    rq.threads = threads;
    rq.one_lane = one_lane;
    rq.flag_invalid = flag_invalid;
    if (nlevels < 1 || nlevels > ornax_max_pbl_levels)
        throw py::value_error("nlevels = " + std::to_string(nlevels) + ": 1.." +
                              std::to_string(ornax_max_pbl_levels));
    std::map<std::string, Ornaxpointfieldkind> kinds;
    for (const Ornaxpointfieldinfo& f : ornax_point_fields()) kinds[f.name] = f.kind;
    std::vector<py::array> held;  // keeps the arrays alive while the core reads them
    for (const auto& [key, value] : inputs) {
        const std::string name = py::str(key).cast<std::string>();
        const auto kind = kinds.find(name);
        if (kind == kinds.end()) throw py::type_error("run_points: unknown input " + name);
        if (!py::isinstance<py::array>(value)) throw py::type_error(name + ": not an array");
        const int series = kind->second == Ornaxpointfieldkind::scalar   ? 0
                           : kind->second == Ornaxpointfieldkind::levels ? nlevels
                                                                         : ornax_hours_per_day;
        held.push_back(py::reinterpret_borrow<py::array>(value));
        rq.inputs[name] = point_array(name, held.back(), shape, series);
    }
    Ornaxpointsresult out;
    {
        py::gil_scoped_release release;
        ornax_run_point_arrays(rq, out);
    }
    py::dict result;
    for (int code = 1; code <= ornax_max_out_vars; ++code)
        result[py::str(std::string(ornax_output_var_name(code)))] =
            adopt_numpy(std::move(out.values[static_cast<std::size_t>(code - 1)]));
    result["energy_balance"] = adopt_numpy(std::move(out.energy_balance));
    result["fc"] = adopt_numpy(std::move(out.fc));
    result["hc"] = adopt_numpy(std::move(out.hc));
    result["hn_evaluations"] = adopt_numpy(std::move(out.evaluations));
    result["quality_flag"] = adopt_numpy(std::move(out.quality));
    py::dict timings(py::arg("core_s") = out.core_s, py::arg("total_s") = out.total_s,
                     py::arg("threads") = threads);
    return py::make_tuple(result, timings);
}

// The inputs of a site as run_points takes them and the site run uses them: the land
// record's values, but the leaf size, cover fraction and canopy height the site reader
// derived from the file's own land section (the core takes those from the input record).
py::dict inputs_dict(const Ornaxlandtype& land, const Ornaxinputvartype& in) {
    py::dict d;
    d["landcover"] = land.landcover;
    d["modis_class"] = land.modis_class;
    d["water_flag"] = land.water_flag;
    d["perennial_flag"] = land.perennial_flag;
    for (auto [name, v] : {std::pair{"aleafv", land.aleafv},
                           {"aleafn", land.aleafn},
                           {"aleafl", land.aleafl},
                           {"adeadv", land.adeadv},
                           {"adeadn", land.adeadn},
                           {"adeadl", land.adeadl},
                           {"hmin", land.hmin},
                           {"hmax", land.hmax},
                           {"rsoil", land.rsoil},
                           {"fcmin", land.fcmin}})
        d[name] = v;
    d["xl"] = in.xl;
    d["year"] = in.year;
    d["doy"] = in.doy;
    for (auto [name, v] : {std::pair{"lon", in.lon},
                           {"lat", in.lat},
                           {"xlai", in.xlai},
                           {"xndvi", in.xndvi},
                           {"theta", in.theta},
                           {"tloc1", in.tloc1},
                           {"tloc2", in.tloc2},
                           {"trad1", in.trad1},
                           {"trad2", in.trad2},
                           {"sdn1", in.sdn1},
                           {"sdn2", in.sdn2},
                           {"lwdn1", in.lwdn1},
                           {"lwdn2", in.lwdn2},
                           {"wind1", in.wind1},
                           {"wind2", in.wind2},
                           {"taobs1", in.taobs1},
                           {"taobs2", in.taobs2},
                           {"pres1", in.pres1},
                           {"pres2", in.pres2},
                           {"spfh1", in.spfh1},
                           {"spfh2", in.spfh2},
                           {"fc", in.fc},
                           {"hc", in.hc},
                           {"rs_correct", in.rs_correct}})
        d[name] = v;
    const std::size_t levels =
        static_cast<std::size_t>(std::clamp(in.npbl, 0, ornax_max_pbl_levels));
    d["z_pbli"] = to_numpy(std::vector<float>(in.z_pbli.begin(), in.z_pbli.begin() + levels));
    d["th_pblk"] = to_numpy(std::vector<float>(in.th_pblk.begin(), in.th_pblk.begin() + levels));
    for (auto [name, v] : {std::pair{"tloc_day", &in.tloc_day},
                           {"sdn_day", &in.sdn_day},
                           {"taobs_day", &in.taobs_day},
                           {"spfh_day", &in.spfh_day},
                           {"pres_day", &in.pres_day},
                           {"wind_day", &in.wind_day},
                           {"lwdn_day", &in.lwdn_day}})
        d[name] = to_numpy(std::vector<float>(v->begin(), v->end()));
    return d;
}

// Reads a site file as the site run does; without a table the file's own land section.
void read_site_records(const std::string& path, const std::string& table_file, Ornaxlandtype& land,
                       Ornaxinputvartype& input) {
    Ornaxmessagebuffer messages;
    OrnaxMessageCapture capture(messages);
    int status = 0;
    std::vector<Ornaxlandtype> table;
    int nclasses = 0;
    if (!table_file.empty()) {
        ornax_read_landcover_table(table_file, table, nclasses, status);
        if (status != 0 || nclasses < 1)
            throw py::value_error("Land cover read in error: " + table_file +
                                  gathered_text(messages));
    }
    if (!std::filesystem::exists(path))
        throw py::value_error("Error in opening the input file: " + path);
    ornax_read_site_inputs(path, land, input, status);
    if (status != 0)
        throw py::value_error("Error in reading ORNAX input data" + gathered_text(messages));
    if (table_file.empty()) return;
    const int lc = input.landcover;
    if (lc < 1 || lc > site_last_class || lc > nclasses)
        throw py::value_error("Unknown land cover class " + std::to_string(lc) + " in " + path);
    // class values replace the file's, leaf values and the derived fc, hc, xl stay
    ornax_copy_land_parameters(table[static_cast<std::size_t>(lc - 1)], land, status);
    input.rs_correct = 0.0f;  // no soil-resistance correction in site mode
}

py::dict read_site(const std::string& path, const std::string& table_file) {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    read_site_records(path, table_file, land, input);
    return inputs_dict(land, input);
}

py::dict run_site(const std::string& path, const std::string& table_file) {
    Ornaxlandtype land;
    Ornaxinputvartype input;
    read_site_records(path, table_file, land, input);
    Ornaxoutputvartype output;
    int status = 0;
    {
        Ornaxmessagebuffer messages;
        OrnaxMessageCapture capture(messages);
        ornax(land, input, output, 0, 0, status);
    }
    if (status != 0) throw std::runtime_error("Error in running ORNAX model on " + path);
    py::dict d;
    d["landcover"] = land.landcover;
    d["lc_name"] = trim_right(land.lc_name);
    for (auto [name, v] : {std::pair{"lat", input.lat},
                           {"lon", input.lon},
                           {"fc", input.fc},
                           {"xlai", input.xlai},
                           {"tloc1", input.tloc1},
                           {"tloc2", input.tloc2},
                           {"taobs1", input.taobs1},
                           {"taobs2", input.taobs2},
                           {"trad1", input.trad1},
                           {"trad2", input.trad2},
                           {"wind1", input.wind1},
                           {"wind2", input.wind2},
                           {"sdn1", input.sdn1},
                           {"sdn2", input.sdn2}})
        d[name] = v;
    for (int code = 1; code <= ornax_max_out_vars; ++code) {
        float value = 0.0f;
        ornax_output_value_by_code(output, code, value);
        d[py::str(std::string(ornax_output_var_name(code)))] = value;
    }
    d["energy_balance"] = ornax_site_energy_balance(output);
    d["report"] = ornax_site_report_lines(land, input, output);
    return d;
}

// Every pixel a region run of the day gives to the core, as run_points takes them, with
// the pixels' lines and columns on the run grid (1-based, south and west first).
py::tuple read_region_pixels(const std::string& config_file, int year, int doy, int region_switch) {
    if (!std::filesystem::exists(config_file))
        throw py::value_error("Read configuration failed " + config_file +
                              ": no such file (paths in it are read from HOME_DIR, else the "
                              "working directory)");
    std::vector<Ornaxregionpixeltype> pixels;
    Ornaxmessagebuffer messages;
    int status = 0;
    {
        py::gil_scoped_release release;
        OrnaxMessageCapture capture(messages);
        ornax_region_day_core_pixels(config_file, region_switch, year, doy, pixels, status);
    }
    if (status != 0)
        throw py::value_error("Region inputs of " + config_file + " could not be read" +
                              gathered_text(messages));
    std::vector<Ornaxlandtype> land(pixels.size());
    std::vector<Ornaxinputvartype> input(pixels.size());
    std::vector<int> line(pixels.size()), column(pixels.size());
    for (std::size_t n = 0; n < pixels.size(); ++n) {
        land[n] = pixels[n].land;
        input[n] = pixels[n].input;
        line[n] = pixels[n].line;
        column[n] = pixels[n].column;
    }
    std::map<std::string, std::vector<float>> arrays;
    int nlevels = 1;
    ornax_point_arrays_from_records(land, input, arrays, nlevels);
    py::dict inputs;
    const auto count = static_cast<py::ssize_t>(pixels.size());
    for (const Ornaxpointfieldinfo& f : ornax_point_fields()) {
        const std::vector<float>& values = arrays[f.name];
        py::array_t<float> a = to_numpy(values);
        const py::ssize_t width =
            f.kind == Ornaxpointfieldkind::levels ? nlevels : ornax_hours_per_day;
        if (f.kind != Ornaxpointfieldkind::scalar) a = a.reshape({count, width});
        inputs[py::str(f.name)] = a;
    }
    return py::make_tuple(inputs, to_numpy(line), to_numpy(column));
}

}  // namespace

PYBIND11_MODULE(_ornax, m) {
    m.doc() = "The ornax land-surface model core (compiled part of the ornax package).";
    m.def("point_fields", &point_fields, "Inputs of run_points: (name, kind, required).");
    m.def("output_variables", &output_variables, "The output variable table, by code.");
    m.def("quality_flags", &quality_flags, "Quality flags: (value, meaning, label).");
    m.def("run_points", &run_points, py::arg("inputs"), py::arg("shape"), py::arg("nlevels"),
          py::arg("region_switch"), py::arg("threads"), py::arg("one_lane"),
          py::arg("flag_invalid"));
    m.def("read_site", &read_site, py::arg("path"), py::arg("table") = "");
    m.def("run_site", &run_site, py::arg("path"), py::arg("table"));
    m.def("read_region_pixels", &read_region_pixels, py::arg("config"), py::arg("year"),
          py::arg("doy"), py::arg("region_switch"));
    m.def("default_threads", &ornax_region_threads);
    m.def("instruction_set", &ornax_lanes_instruction_set);
    m.attr("__version__") = ornax_version();
    m.def("lane_width", &ornax_lanes_width);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
}
