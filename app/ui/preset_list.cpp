#include "app/ui/preset_list.h"

namespace app::ui {

namespace pu = platform::ui;

PresetDropList::~PresetDropList() {
  if (opened_) view_->Close();
}

bool PresetDropList::SetUpPresetDropList(pu::Window& w, std::string_view label,
                                         platform::rec::File<data::PresetRecord>* view) {
  if (!Init(w, label, kPresetDropFormat)) return false;
  view_ = view != nullptr ? view : &own_;
  if (!view_->IsOpen()) {
    if (view_->Open() != 0) return false;
    opened_ = true;
  }
  if (!data::HasFiles()) return false;
  SetFile(*view_);
  AddFileField("PRE:NAZEV");
  AddFileField("PRE:ID");
  AddSortOrder(data::PRE_KeyId);
  SetUpdateFile(data::Files().PRESET, nullptr);
  RefillPresetDropList();
  return true;
}

int PresetDropList::TakeEvent(pu::Window& w) {
  const pu::Event& e = w.CurrentEvent();
  if (e.number == pu::EVENT::NewSelection && e.control == GetControl().Number()) {
    // A row whose preset has gone leaves no preset in the buffer.
    if (FetchSelected() != 0 && data::HasFiles()) data::Files().PRESET.ClearBuffer();
    return pu::kGoOn;
  }
  return RecordList::TakeEvent(w);
}

}  // namespace app::ui
