// A record form: a window that edits the record buffer of a primary record
// file and saves it there (the window controller's standard handling for
// forms).
//
// Requests (WindowController::Request, taken from FormRequest at set-up):
//   1 insert   ?OK adds the buffer as a new record (the auto-numbered field
//              as PrimeAutoNumber left it, see platform/recordfile.h)
//   2 change   ?OK rewrites the file's current record with the buffer, only
//              when the buffer differs from the reference copy
//   3 delete   refused: the warning "Upozornění" / "Toto okno nelze použít ke
//              smazání záznamu !" instead of the loop; nothing is written
//   6 view     nothing is saved, closing never asks
// The reference copy is the buffer as it stands when the derived form calls
// TakeReference (after it has prepared the record).
//
// Completion (the OkControl accepted in requests 1 and 2): the buffer is
// copied into the history record (when one is set), then added or
// rewritten; on success Response 1 and the loop ends. A failed add or
// rewrite is shown in a box ("Chyba při zápisu do souboru NAME." with the
// code's text) and the form stays open with Response unchanged.
//
// Closing without completion (the CancelControl accepted, CloseWindow from
// the close box or posted) in requests 1 and 2 with a buffer that differs
// from the reference copy asks "Změny nebudou uloženy!" / "Opravdu chcete
// stornovat operaci?" (Yes / No). Only Yes closes (Response 2); No, Esc and
// the question's close box keep the form open with the focus on FirstField.
// A close-down (EVENT::CloseDown) never asks.
//
// History: Ctrl+H (kHistoryKey) in a control registered with
// AddHistoryField copies that field from the history record into the
// buffer and redisplays the control. The history record is the caller's
// (per thread); the form only reads and writes it.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/recordfile.h"
#include "platform/window.h"

namespace platform::ui {

inline constexpr int kHistoryKey = 0x248;  // Ctrl+H

inline constexpr const char* kCancelQuestionTitle = "Změny nebudou uloženy!";
inline constexpr const char* kCancelQuestionText = "Opravdu chcete stornovat operaci?";
inline constexpr const char* kDeleteRefusedTitle = "Upozornění";
inline constexpr const char* kDeleteRefusedText = "Toto okno nelze použít ke smazání záznamu !";

class RecordForm : public WindowController {
 public:
  explicit RecordForm(Window& w) : WindowController(w) {}

  // The file the form saves to and the buffer its fields are bound to.
  void SetPrimary(rec::RecordFile& file, void* buffer);
  template <class R>
  void SetPrimary(rec::File<R>& file) {
    SetPrimary(file, &file.rec);
  }
  // A record of the primary file's layout that completion copies the buffer
  // into and Ctrl+H reads from; nullptr none.
  void SetHistory(void* history) { history_ = history; }
  // Ctrl+H in the control copies the field (a name of the file's
  // declaration); registers the key with the window.
  void AddHistoryField(std::string_view control, std::string_view field);

  // The control that gets the focus when a cancel is refused.
  int FirstField = 0;

  // The buffer as it is now becomes the reference copy.
  void TakeReference();
  // True when the buffer differs from the reference copy in any field.
  bool RecordChanged() const;
  // True when the request saves (insert or change).
  bool Saves() const { return Request == InsertRecord || Request == ChangeRecord; }

  // The completion; 0 when it ended the form, else the error code (the
  // form stays open).
  int Complete();
  // The closing rule: true when the form may close without saving.
  bool MayCloseWithoutSaving();

  // Request 3: the refusal, no loop. Otherwise the loop.
  void SetCaptionAndRun() override;
  int OnWindowEvent() override;
  int OnControlAccepted() override;

 private:
  void CopyRecord(const void* from, void* to) const;

  rec::RecordFile* file_ = nullptr;
  void* buffer_ = nullptr;
  void* history_ = nullptr;
  std::vector<rec::Value> reference_;
  std::vector<std::pair<int, int>> historyFields_;  // control, field index
};

}  // namespace platform::ui
