#include "app/ui/task_editor.h"

#include "platform/eventloop.h"

namespace app::ui {

void Editace_uloh() {
  platform::ui::FormRequest = 0;
  platform::ui::FormResponse = platform::ui::RequestCancelled;
}

}  // namespace app::ui
