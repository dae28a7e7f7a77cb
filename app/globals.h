// Program-wide values kept between runs or shown on every window.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// " vELORN v. " and the 10 characters of the version: the main window's
// caption and the notification icon's tip.
extern std::string CaptionText;
extern std::string GLO_Verze_programu;      // 10 characters: "1.0" and blanks
extern int32_t GLO_Pocet_spusteni_programu;  // start counter
extern int32_t GLO_Prvni_spusteni;          // kept unchanged
extern uint8_t GCU;                         // set to 1 by the main window's first opening

}  // namespace app
