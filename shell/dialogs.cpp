#include "dialogs.h"

#include <cstdint>
#include <limits>

#include "host.h"
#include "payoffs.h"
#include "run_control.h"
#include "sim_state.h"
#include "window_system.h"

namespace talvane {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool parsePayoffField(const char* text, std::int32_t& value) {
    if (text == nullptr) return false;
    const char* p = text;
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    if (!isDigit(*p)) return false;
    // Accumulate the magnitude with room for INT32_MIN, refusing on overflow.
    const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + (negative ? 1 : 0);
    std::int64_t magnitude = 0;
    for (; isDigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) return false;
    }
    while (isBlank(*p)) ++p;
    if (*p != '\0') return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

void editPayoffs() {
    bool accepted = false;
    {
        SimulationHold hold;
        PayoffFields fields{sim.payoffCC, sim.payoffCD, sim.payoffDC, sim.payoffDD};
        accepted = windowSystem().runPayoffsDialog(fields);
        if (accepted) {
            sim.payoffCC = fields[0];
            sim.payoffCD = fields[1];
            sim.payoffDC = fields[2];
            sim.payoffDD = fields[3];
            computeFinitePayoffTable();
        }
    }
    // The title names the game from the payoffs: show the new name now.
    if (accepted && sim.host != nullptr) sim.host->requestRepaint();
}

void showAbout() { windowSystem().showInformation(kAboutText, kAboutCaption); }

}  // namespace talvane
