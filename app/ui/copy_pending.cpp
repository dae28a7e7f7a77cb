// The task editor's copy flag (task_form.h), apart from the editor: the
// main window's ?COPY sets it without bringing the editor in.
#include "app/ui/task_form.h"

namespace app::ui {

uint8_t CopyTaskPending = 0;

}  // namespace app::ui
