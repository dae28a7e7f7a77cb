// The task editor (Editace_uloh): opens the selected task of the task list
// for FormRequest (1 insert, 2 change) and leaves its response in
// FormResponse (1 completed, 2 cancelled).
//
// Not built yet: this stand-in opens nothing and answers 2 (cancelled).
#pragma once

namespace app::ui {

void Editace_uloh();

}  // namespace app::ui
