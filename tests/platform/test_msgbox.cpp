#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/msgbox.h"

namespace {

using namespace platform;

TEST(HeadlessBox, RefusingAnswerIsGivenAtOnce) {
  struct Case {
    unsigned buttons, answer;
  } cases[] = {
      {BoxOk, BoxOk},
      {BoxOk | BoxCancel, BoxCancel},
      {BoxYes | BoxNo, BoxNo},
      {BoxYes | BoxNo | BoxCancel, BoxCancel},
      {BoxAbort | BoxRetry | BoxIgnore, BoxAbort},
      {BoxRetry | BoxCancel, BoxCancel},
  };
  for (const auto& c : cases) EXPECT_EQ(HeadlessAnswer(c.buttons), c.answer) << c.buttons;
}

TEST(HeadlessBox, WritesCaptionAndTextToStandardError) {
  ::unsetenv("VELORN_MSGBOX_ANSWERS");
  testing::internal::CaptureStderr();
  const unsigned a = MessageBox("Program je již spuštěn !", "Stop", BoxIcon::Exclamation, BoxOk);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(a, BoxOk);
  EXPECT_EQ(err, "Stop: Program je již spuštěn !\n");
}

TEST(HeadlessBox, ScriptedAnswersAreUsedInOrderAndOnlyWhenOffered) {
  ::setenv("VELORN_MSGBOX_ANSWERS", "yes,retry,no", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBox("q1", "c", BoxIcon::Question, BoxYes | BoxNo), BoxYes);
  // "retry" is not offered: the refusing answer instead.
  EXPECT_EQ(MessageBox("q2", "c", BoxIcon::Question, BoxYes | BoxNo), BoxNo);
  EXPECT_EQ(MessageBox("q3", "c", BoxIcon::Question, BoxYes | BoxNo), BoxNo);
  // Used up: refusing answers from here on.
  EXPECT_EQ(MessageBox("q4", "c", BoxIcon::Question, BoxOk | BoxCancel), BoxCancel);
  testing::internal::GetCapturedStderr();
  ::unsetenv("VELORN_MSGBOX_ANSWERS");
}

TEST(BoxView, AnInstalledViewShowsTheBox) {
  std::string seen;
  SetBoxView([&](std::string_view text, std::string_view caption, BoxIcon, unsigned, unsigned) {
    seen = std::string(caption) + "|" + std::string(text);
    return static_cast<unsigned>(BoxYes);
  });
  EXPECT_EQ(MessageBox("t", "c", BoxIcon::None, BoxYes | BoxNo), BoxYes);
  SetBoxView(nullptr);
  EXPECT_EQ(seen, "c|t");
}

TEST(ErrorReporter, NamesTheFileTheCodeAndItsText) {
  std::string seen;
  SetBoxView([&](std::string_view text, std::string_view, BoxIcon, unsigned, unsigned) {
    seen = text;
    return static_cast<unsigned>(BoxOk);
  });
  ReportFileError("Tasks.tps", 36);
  SetBoxView(nullptr);
  EXPECT_NE(seen.find("Tasks.tps"), std::string::npos);
  EXPECT_NE(seen.find("(36)"), std::string::npos);
}

}  // namespace
