// Record set-up and release operations.
#include "ORNAX_data_mod.hpp"

#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"

std::int16_t debug_iflag = 0;

// ===================================================================================
// Core records
// ===================================================================================

void reset_out_var(Ornaxoutputvartype& output) {
    const float ts2 = output.TS2;
    const float tc2 = output.TC2;
    output.ZEN1 = output.TA1 = output.SPARE1 = output.RNET1 = 0.0f;
    output.XLES2 = output.HS2 = output.XLEC2 = output.HC2 = 0.0f;
    output.XLE2 = output.H2 = output.G2 = output.ZEN2 = output.TA2 = 0.0f;
    output.SPARE2 = output.RNET2 = output.Z2 = output.RA2 = output.RS2 = output.RX2 = 0.0f;
    output.SWUP = output.LWUP = output.SNETDAY = output.RSOILDAY = output.SDDAY = 0.0f;
    output.SWUPDAY = output.LWUPDAY = output.LWDNDAY = output.EREFDAY = 0.0f;
    output.HDAY = output.GDAY = output.EDAY = output.ESDAY = output.ECDAY = 0.0f;
    output.TS2 = ts2;
    output.TC2 = tc2;
}

void ornax_error_code(int flag, int code, int& status) {
    if (flag != 0) {
        switch (code) {
            case 0: ornax_log_msg("*** CONVERGED ***"); break;
            case 1: ornax_log_msg("*** HN did not converge. Fail ***"); break;
            case 2: ornax_log_msg("*** Bad input.  Fail ***"); break;
            case 3: ornax_log_msg("*** Exceeded max PBL profile layer. Fail ***"); break;
            default: ornax_log_msg("Unknow error code" + write_i(code, 5)); break;
        }
    }
    status = 0;
}

// ===================================================================================
// Common grid set-up and release (forcing-a work)
// ===================================================================================

// ---- end of common grid ----

// ===================================================================================
// Model grid set-up and release (forcing-b work)
// ===================================================================================

// ---- end of model grid ----
