#include "app/ui/messages.h"

#include "platform/msgbox.h"
#include "platform/text.h"

namespace app::ui {

void aMessage(std::string_view icon, std::string_view title, std::string_view text) {
  platform::BoxIcon i = platform::BoxIcon::Exclamation;
  if (icon == "stop.ico") i = platform::BoxIcon::Hand;
  else if (icon == "inform.ico") i = platform::BoxIcon::Information;
  platform::MessageBox(platform::text::TruncateChars(text, 2047), title, i, platform::BoxOk);
}

}  // namespace app::ui
