// The main window's structure: every control in window order, with its
// caption, tip, picture, colours, hidden state and bound variable.
#include <string>

#include "app/ui/main_window.h"

namespace app::ui {

namespace {

using K = pu::ControlKind;

inline constexpr std::size_t kTextChars = 100;

pu::Control& Button(pu::Window& w, pu::Control* parent, const char* label, const char* caption, const char* icon,
                    const char* tip = "") {
  pu::Control& b = w.Add(K::Button, label, caption, parent);
  if (*icon != '\0') b.SetImage(icon);
  if (*tip != '\0') b.SetTip(tip);
  return b;
}

pu::Control& Prompt(pu::Window& w, pu::Control* parent, const char* label, const char* caption) {
  return w.Add(K::Prompt, label, caption, parent);
}

// A text showing a number of up to `digits` digits.
template <class T>
pu::Control& Number(pu::Window& w, pu::Control* parent, const char* label, T& var, int digits) {
  return w.Add(K::Text, label, {}, parent).SetPicture("@n" + std::to_string(digits)).Bind(var);
}

// Output k's button in the grid of buttons at the bottom of its tab: eight
// to a row, 1 .. 32 in order, whatever their place in window order.
void OutputButtons(pu::Window& w, pu::Control* tab, int first, int last) {
  for (int k = first; k <= last; ++k) w.Add(K::Button, OutputButton(k), {}, tab).SetCell((k - 1) / 8, (k - 1) % 8);
}

void MainPanel(pu::Window& w, pu::Control* sheet, MainLocals& l, engine::SchedulerState& state) {
  pu::Control* tab = &w.Add(K::Tab, "?TAB3", "Hlavní panel", sheet);
  pu::Control* info = &w.Add(K::Group, "?GROUP2", "Informace", tab);
  Prompt(w, info, "?STRING8", "Systémový čas:");
  w.Add(K::Text, "?SYS_TIME", {}, info);
  Prompt(w, info, "?STRING8:2", "Stav komunikace:");
  w.Add(K::Text, "?KOMUNIKACE", {}, info).SetBold(true);
  Button(w, tab, "?BUTTON_ZAPNI", "Hlášení", "sound.gif", "Zapne vybrané výstupy pro hlášení");
  Button(w, tab, "?BUTTON_PREHRAJ", "Přehraj hlášení", "control_play_blue.gif", "Přehraje uložené hlášení ze souboru");
  Button(w, tab, "?BUTTON_MIX", "Nahrávání hlášení", "microphone.gif", "Spustí program pro nahrávání zvuku");
  w.Add(K::Image, "?IMAGE1", {}, tab).SetImage("information.gif").Hide();
  Button(w, tab, "?BUTTON_VOLUME", "Ovládání hlasitosti", "volume.gif", "Spustí mixážní pult pro nastavení hlasitosti");
  w.Add(K::Text, "?INFO_TEXT", {}, tab).SetBold(true).SetFontColor(kRed).Bind(l.statusText, kTextChars);
  w.Add(K::Text, "?DEBUG_TEXT", {}, tab).SetBold(true).SetFontColor(kGrey).Bind(l.stepText, kTextChars).Hide();
  Button(w, tab, "?BUTTON_KONEC", "Konec programu", "konec.gif", "Ukončení programu");
  Number(w, tab, "?GLO:TIMEOUT", state.GLO_TIMEOUT, 6).SetFontColor(kGrey).Hide();
}

void Tasks(pu::Window& w, pu::Control* sheet, MainLocals& l) {
  pu::Control* tab = &w.Add(K::Tab, "?TAB1", "Naplánované úlohy", sheet);
  w.Add(K::Check, "?FILTR_ZOBRAZENI", " Zobrazovat pouze aktivní", tab)
      .SetCheckValues(int64_t{1}, int64_t{0})
      .Bind(l.ShowActiveOnly);
  w.Add(K::List, "?LIST", {}, tab);
  Button(w, tab, "?INSERT", "&Nová úloha", "clock_add.gif", "Vytvoření nové úlohy");
  Button(w, tab, "?CHANGE", "&Změna úlohy", "clock_edit.gif", "Změna parametrů vybrené úlohy");
  Button(w, tab, "?COPY", "&Kopíruj úlohu", "clock_go.gif", "Kopíruj úlohu do nové");
}

void Settings(pu::Window& w, pu::Control* sheet, engine::PortState& port) {
  pu::Control* tab = &w.Add(K::Tab, "?TAB2", "Nastavení", sheet);
  pu::Control* comms = &w.Add(K::Group, "?GROUP1", "Komunikace", tab);
  Prompt(w, comms, "?STRING1", "Port:");
  w.Add(K::DropList, "?COM:PORT", {}, comms)
      .SetChoices({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"})
      .Bind(port.COM_PORT, 4);
  Prompt(w, comms, "?STRING1:2", "Rychlost:");
  Prompt(w, comms, "?STRING1:3", "9 600");
  Prompt(w, comms, "?STRING1:4", "Datové bity:");
  Prompt(w, comms, "?STRING1:5", "8");
  Prompt(w, comms, "?STRING1:6", "Stop bity:");
  Prompt(w, comms, "?STRING1:7", "1");
  pu::Control* outputs = &w.Add(K::Group, "?GROUP3", "Definice výstupů", tab);
  w.Add(K::List, "?LIST:2", {}, outputs);
  Button(w, outputs, "?INSERT:2", "&Vlož", "insert.gif");
  Button(w, outputs, "?CHANGE:2", "&Edituj", "edit.gif");
  Button(w, outputs, "?DELETE:2", "&Smaž", "delete.gif");
  Button(w, tab, "?RESTART_COM", "Restartovat komunikaci", "connect.gif", "Restartovat komunikace");
  Prompt(w, tab, "?STRING12", "Zpoždění před zapnutím zesilovače:");
  w.Add(K::Entry, "?GLO:AMP_DELAY", {}, tab).SetPicture("@t4").Bind(port.GLO_AMP_DELAY);
  Prompt(w, tab, "?STRING12:2", "(hh:mm:ss)");
}

void Announcement(pu::Window& w, pu::Control* sheet, MainLocals& l, engine::SchedulerState& state) {
  pu::Control* tab = &w.Add(K::Tab, "?TAB4", "Hlášení", sheet);
  Prompt(w, tab, "?STRING26", "Předdefinované:");
  w.Add(K::DropList, "?PRE:NAZEV", {}, tab);
  pu::Control* status = &w.Add(K::Group, "?GROUP4", {}, tab);
  w.Add(K::Text, "?INFO_TEXT:2", {}, status).SetBold(true).SetFontColor(kRed).Bind(l.statusText, kTextChars);
  OutputButtons(w, tab, 1, 16);
  OutputButtons(w, tab, 25, 32);
  pu::Control* file = &w.Add(K::Group, "?GROUP5", {}, tab);
  Prompt(w, file, "?STRING27", "Soubor:");
  w.Add(K::Entry, "?GLO:FILE2PLAY", {}, file).SetPicture("@s255").Bind(PathBinding(state.GLO_FILE2PLAY));
  Button(w, file, "?LOOKUPFILE", "", "open.gif");
  Button(w, file, "?BUTTON51:2", "Přehrát soubor", "control_play_blue.gif");
  Prompt(w, file, "?STRING27:2", "čas:");
  w.Add(K::Entry, "?GLO:FILELENGHT", {}, file).SetPicture("@t4").Bind(TimeBinding(state.GLO_FILELENGHT));
  // Below the outputs, across their rows.
  Button(w, tab, "?BUTTON51", "", "sound.gif").SetCell(4, 0, 8);
  OutputButtons(w, tab, 17, 24);
}

void Service(pu::Window& w, pu::Control* sheet, engine::Engine& engine) {
  pu::Control* tab = &w.Add(K::Tab, "?TAB5", "Servis", sheet);
  tab->SetColumns(2).Hide();
  // The lamps head the columns of their buttons: on in the first row, off
  // in the second.
  pu::Control* lamps = &w.Add(K::Group, "?GROUP6", "Osvětlení MIC pultu", tab);
  lamps->SetColumns(3).SetCell(0, 0, 2);
  Prompt(w, lamps, "?STRING23", "ON - AIR");
  Prompt(w, lamps, "?STRING23:2", "MIC - podsvětlení");
  Prompt(w, lamps, "?STRING23:3", "LINE - podsvětlení");
  pu::Control* keys = &w.Add(K::Group, "?GROUP7", "Stav tlačítek", tab);
  keys->SetColumns(1).SetCell(2, 0);
  Number(w, keys, "?INTLACITKA", engine.console.INTLACITKA, 3).SetBold(true);
  Prompt(w, keys, "?STRING28", "1: mikrofon");
  Prompt(w, keys, "?STRING28:2", "2: MIC hlavní");
  Prompt(w, keys, "?STRING28:3", "3: obě");
  pu::Control* vars = &w.Add(K::Group, "?GROUP8", "Promenne", tab);
  vars->SetCell(2, 1);
  Prompt(w, vars, "?STRING30", "Last hist:");
  Number(w, vars, "?LAST_HIST", engine.live.LAST_HIST, 3);
  Prompt(w, vars, "?STRING30:2", "Hist 0:");
  Number(w, vars, "?HIST0", engine.live.HIST0, 3);
  Prompt(w, vars, "?STRING30:3", "1:");
  Number(w, vars, "?HIST1", engine.live.HIST1, 3);
  Prompt(w, vars, "?STRING30:4", "2:");
  Number(w, vars, "?HIST2", engine.live.HIST2, 3);
  Prompt(w, vars, "?STRING30:5", "3:");
  Number(w, vars, "?HIST3", engine.live.HIST3, 3);
  Prompt(w, vars, "?STRING41", "tlacitka <> 0:");
  Number(w, vars, "?GLO:HLASENI", engine.schedulerState.GLO_HLASENI, 3);
  w.Add(K::Line, "?LINE1", {}, tab).SetCell(1, 0, 2);
  Button(w, lamps, "?BUTTON13", "0 / 1", "");
  Button(w, lamps, "?BUTTON14", "1 / 1", "");
  Button(w, lamps, "?BUTTON15", "2 / 1", "");
  Button(w, lamps, "?BUTTON13:2", "0 / 0", "");
  Button(w, lamps, "?BUTTON14:2", "1 / 0", "");
  Button(w, lamps, "?BUTTON15:2", "2 / 0", "");
}

}  // namespace

std::string OutputButton(int k) { return "?BUTTON20:" + std::to_string(k); }

void BuildMainWindow(pu::Window& w, MainLocals& l, engine::Engine& engine) {
  w.SetIcon("velorn.ico").SetWallpaper("back_blue_big.jpg").SetFont("Tahoma", 8);
  pu::Control* sheet = &w.Add(K::Sheet, "?SHEET1");
  MainPanel(w, sheet, l, engine.schedulerState);
  Tasks(w, sheet, l);
  Settings(w, sheet, engine.portState);
  Announcement(w, sheet, l, engine.schedulerState);
  Service(w, sheet, engine);
  w.Add(K::Box, "?BOX1").SetColor(kRed);
  Prompt(w, nullptr, "?STRING14", "- úloha není aktivní");
  w.Add(K::Box, "?BOX1:2").SetColor(kOrange);
  Prompt(w, nullptr, "?STRING14:2", "- úloha bude automaticky smazána");
}

}  // namespace app::ui
