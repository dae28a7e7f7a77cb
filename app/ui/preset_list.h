// The preset drop list of the main window, the task editor and the two
// output dialogs: the thread's PRESET in PRE:KeyId order, read through an
// instance of the file of its own; each row shows PRE:NAZEV and PRE:ID and
// carries the record's PRE:ID.
//
// Choosing a row loads that record into the thread's PRESET buffer (read by
// PRE:ID through the thread's instance, so two presets of one name each
// load their own); the accepted event of the drop list that follows finds
// it there. A row whose record has gone in the meantime leaves the buffer
// cleared (PRE:ID 0), so the accepted event finds no preset.
//
// The caller's thread must have its record files attached
// (app::data::AttachThreadFiles) and PRESET open through its controller
// while the list lives (the list's own instance is opened on that file).
#pragma once

#include "app/data/records.h"
#include "platform/recordlist.h"
#include "platform/window.h"

namespace app::ui {

inline constexpr const char* kPresetDropFormat = "92L(2)|M@s20@56R(2)|M@n-14@";

class PresetDropList final : public platform::ui::RecordList {
 public:
  PresetDropList() = default;
  ~PresetDropList() override;
  // On the drop list `label` of w, before the window opens, then filled.
  // It reads through `view` (an instance of PRESET of the caller's, opened
  // here when closed) or, without one, an instance of its own; it closes
  // what it opened when it goes. False when the control is missing or the
  // file does not open (the list then stays empty).
  bool SetUpPresetDropList(platform::ui::Window& w, std::string_view label,
                           platform::rec::File<data::PresetRecord>* view = nullptr);
  // The platform's refill: every preset.
  void RefillPresetDropList() { RecordList::Refill(); }
  void Refill() override { RefillPresetDropList(); }
  int TakeEvent(platform::ui::Window& w) override;

 private:
  platform::rec::File<data::PresetRecord> own_{data::PresetDecl()};
  platform::rec::File<data::PresetRecord>* view_ = nullptr;
  bool opened_ = false;
};

}  // namespace app::ui
