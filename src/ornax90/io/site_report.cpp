// Site report: the morning variables, the fluxes at the second observation time and the
// daily integrated fluxes written in fixed columns.
#include "ornax90/ORNAX_io_mod.hpp"

#include <initializer_list>
#include <iostream>
#include <string_view>

#include "utils/fixed_text.hpp"

namespace {

// Label right-aligned in 30 columns, then each value in f10.3.
std::string report_row(std::string_view label, std::initializer_list<float> values) {
    std::string line = write_a(label, 30);
    for (float v : values) line += write_f(v, 10, 3);
    return line;
}

}  // namespace

float ornax_site_energy_balance(const Ornaxoutputvartype& out) {
    // energy-balance residual at time 2 (W m-2), in this order
    return out.RNET2 - out.XLE2 - out.G2 - out.H2;
}

std::vector<std::string> ornax_site_report_lines(const Ornaxlandtype& land,
                                                 const Ornaxinputvartype& in,
                                                 const Ornaxoutputvartype& out) {
    const float residual = ornax_site_energy_balance(out);
    return {
        FreeLine() << "----- ORNAX Site Inputs ---------------------",
        write_a("Site lc", 10) + write_i(land.landcover, 20) + trim_right(land.lc_name),
        report_row("At Lat, Lon:", {in.lat, in.lon}),
        report_row("Canopy FC, XLAI : ", {in.fc, in.xlai}),
        report_row("Tloc1, Tloc2 ( Obs time): ", {in.tloc1, in.tloc2}),
        report_row("Tobs1,Tobs2(Obs air temp): ", {in.taobs1, in.taobs2}),
        report_row("Trad1,Trad2(radiometric): ", {in.trad1, in.trad2}),
        report_row("Wind11,Wind2(Wind Speed): ", {in.wind1, in.wind2}),
        report_row("Input SDN1,SDN2(W m-2): ", {in.sdn1, in.sdn2}),
        FreeLine() << "----- ORNAX Site Outputs --------------------",
        write_a("Morning variables ", 30) + write_a("TIME1", 10) + write_a("TIME2", 10),
        report_row("TC1,TC2 (canopy temp): ", {out.TC1, out.TC2}),
        report_row("TS1,TS2 (soil temp): ", {out.TS1, out.TS2}),
        report_row("TA1,TA2 (modeled air temp): ", {out.TA1, out.TA2}),
        report_row("Rnet Net Radiation (w m-2): ", {out.RNET1, out.RNET2}),
        report_row("Zen (sun zenith): ", {out.ZEN1, out.ZEN2}),
        FreeLine() << "----------T2 only----------------------------",
        report_row("Z2 (boundary layer ht): ", {out.Z2}),
        report_row("RA2 (aerodynamic res): ", {out.RA2}),
        report_row("RS2   (soil res): ", {out.RS2}),
        report_row("RX2   (b.l. res): ", {out.RX2}),
        report_row("SWUP (W m-2): ", {out.SWUP}),
        report_row("LWUP (W m-2): ", {out.LWUP}),
        report_row("Canopy latent(w m-2): ", {out.XLEC2}),
        report_row("Soil latent(w m-2): ", {out.XLES2}),
        report_row("Total latent(w m-2): ", {out.XLE2}),
        report_row("Canopy sensible(w m-2): ", {out.HC2}),
        report_row("Soil sensible(w m-2): ", {out.HS2}),
        report_row("Total sensible(w m-2): ", {out.H2}),
        report_row("Ground cond(w m-2): ", {out.G2}),
        report_row("Energy balance(w m-2): ", {residual}),
        FreeLine() << "------------------------------------------",
        write_a("Daily integrated fluxes", 30) + write_a("ORNAX90", 10),
        report_row("Radiation RN (w m-2): ", {out.SNETDAY}),
        report_row("Sensible H (w m-2): ", {out.HDAY}),
        report_row("Soil heat flux G (w m-2): ", {out.GDAY}),
        report_row("Total ET (MJ day-1): ", {out.EDAY}),
        report_row("Soil ET (mm s-1): ", {out.ESDAY}),
        report_row("Canopy ET (mm s-1): ", {out.ECDAY}),
        report_row("P-M reference ET (mm s-1): ", {out.EREFDAY}),
        report_row("Short wave down sdn(w m-2): ", {out.SDDAY}),
    };
}

void ornax_write_site_outputs(const Ornaxlandtype& land, const Ornaxinputvartype& input,
                              const Ornaxoutputvartype& output, int& status) {
    for (const std::string& line : ornax_site_report_lines(land, input, output))
        std::cout << line << '\n';
    status = 0;
}
