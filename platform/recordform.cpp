#include "platform/recordform.h"

#include <string>

#include "platform/locale_texts.h"
#include "platform/msgbox.h"

namespace platform::ui {

void RecordForm::SetPrimary(rec::RecordFile& file, void* buffer) {
  file_ = &file;
  buffer_ = buffer;
}

void RecordForm::AddHistoryField(std::string_view control, std::string_view field) {
  const int number = window().Number(control);
  const int index = file_ != nullptr ? file_->Decl().FieldIndex(field) : -1;
  if (number == 0 || index < 0) return;
  historyFields_.emplace_back(number, index);
  window().Alert(kHistoryKey);
}

void RecordForm::TakeReference() {
  reference_.clear();
  if (file_ == nullptr) return;
  for (const rec::FieldDecl& f : file_->Decl().fields) reference_.push_back(f.get(buffer_));
}

bool RecordForm::RecordChanged() const {
  if (file_ == nullptr) return false;
  const auto& fields = file_->Decl().fields;
  if (reference_.size() != fields.size()) return true;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].get(buffer_) != reference_[i]) return true;
  return false;
}

void RecordForm::CopyRecord(const void* from, void* to) const {
  for (const rec::FieldDecl& f : file_->Decl().fields) f.set(to, f.get(from));
}

int RecordForm::Complete() {
  if (file_ == nullptr || !Saves()) return 0;
  if (history_ != nullptr) CopyRecord(buffer_, history_);
  int rc = 0;
  if (Request == InsertRecord)
    rc = file_->Add();
  else if (RecordChanged())
    rc = file_->Put();
  if (rc != 0) {
    MessageBox("Chyba při zápisu do souboru " + file_->Decl().fileName + ".\r\n" + locale::ErrorText(rc) + " (" +
                   std::to_string(rc) + ")",
               "Chyba souboru", BoxIcon::Hand, BoxOk);
    return rc;
  }
  TakeReference();
  Response = RequestCompleted;
  window().EndLoop();
  return 0;
}

bool RecordForm::MayCloseWithoutSaving() {
  if (!Saves() || !RecordChanged()) return true;
  const unsigned a =
      MessageBox(kCancelQuestionText, kCancelQuestionTitle, BoxIcon::Question, BoxYes | BoxNo | BoxEscapeNo, BoxNo);
  if (a == BoxYes) return true;
  if (FirstField != 0) window().Select(FirstField);
  return false;
}

void RecordForm::SetCaptionAndRun() {
  if (Request == DeleteRecord) {
    MessageBox(kDeleteRefusedText, kDeleteRefusedTitle, BoxIcon::Exclamation, BoxOk);
    return;
  }
  WindowController::SetCaptionAndRun();
}

int RecordForm::OnWindowEvent() {
  Window& w = window();
  switch (w.EventNumber()) {
    case EVENT::CloseWindow:
      if (!MayCloseWithoutSaving()) return kConsumed;
      break;
    case EVENT::AlertKey:
      if (w.Keycode() == kHistoryKey && history_ != nullptr) {
        for (const auto& [control, field] : historyFields_) {
          if (control != w.Focus()) continue;
          const rec::FieldDecl& f = file_->Decl().fields[static_cast<std::size_t>(field)];
          f.set(buffer_, f.get(history_));
          w.Display(control);
          return kConsumed;
        }
      }
      break;
    default:
      break;
  }
  return WindowController::OnWindowEvent();
}

int RecordForm::OnControlAccepted() {
  const int a = window().Accepted();
  if (a != 0 && a == OkControl && Saves()) {
    Complete();
    return kGoOn;
  }
  if (a != 0 && a == OkControl) return kGoOn;  // a view saves nothing; the form closes itself
  if (a != 0 && a == CancelControl) {
    if (MayCloseWithoutSaving()) {
      Response = RequestCancelled;
      window().EndLoop();
    }
    return kGoOn;
  }
  return WindowController::OnControlAccepted();
}

}  // namespace platform::ui
