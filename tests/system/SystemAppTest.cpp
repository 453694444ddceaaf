// Behaviour that needs a Qt application object: the argument list and the
// folder dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "system/ShellService.h"
#include "system/SystemInfo.h"
#include "tests/system/LogLines.h"

namespace {

struct Arguments {
  explicit Arguments(std::vector<std::string> list) : strings(std::move(list)) {
    for (std::string &s : strings)
      pointers.push_back(s.data());
    count = int(pointers.size());
  }
  std::vector<std::string> strings;
  std::vector<char *> pointers;
  int count = 0;
};

TEST(SystemAppTest, LanguageOverrideFromTheFirstArgument) {
  Arguments args({"/opt/LANG=en-US/tool", "LANG=fr-FR"});
  QCoreApplication app(args.count, args.pointers.data());
  SystemInfo info;
  LogLines log;
  EXPECT_EQ(info.language(), "en-US");
  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], LogLines::native("LANG", "debug param lang: en-US"));
  EXPECT_EQ(info.arguments(), "/opt/LANG=en-US/tool LANG=fr-FR");
}

TEST(SystemAppTest, LanguageIgnoresOtherShapes) {
  for (const std::string first : {"/opt/tool", "LANG=english", "LANG=e1-US"}) {
    Arguments args({first, "LANG=fr-FR"});
    QCoreApplication app(args.count, args.pointers.data());
    LogLines log;
    const QString language = SystemInfo().language();
    EXPECT_NE(language, "fr-FR");
    EXPECT_EQ(log.messages(), (std::vector<std::string>{LogLines::native(
                                  "LANG", "detected lang: " + language.toStdString())}));
  }
}

// Answers the folder dialog as soon as it shows.
void answerDialog(const std::function<void(QFileDialog &)> &answer) {
  QTimer::singleShot(50, [answer] {
    if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
      answer(*dialog);
    else
      answerDialog(answer);
  });
}

TEST(SystemAppTest, SelectFolderReturnsTheChoiceOrNothing) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  Arguments args({"tw_system_app_test"});
  QApplication app(args.count, args.pointers.data());
  ShellService shell;
  QTemporaryDir dir;

  answerDialog([](QFileDialog &dialog) { dialog.reject(); });
  LogLines log;
  EXPECT_EQ(shell.selectFolder("选择安装目录", "/opt"), "");
  EXPECT_EQ(log.messages(), (std::vector<std::string>{LogLines::native(
                                "NativeUtil", "select folder. title=选择安装目录 path=/opt")}));

  answerDialog([&](QFileDialog &dialog) {
    dialog.setDirectory(dir.path());
    static_cast<QDialog &>(dialog).accept();
  });
  EXPECT_EQ(shell.selectFolder("", ""), dir.path());
}

TEST(SystemAppTest, SelectFolderWithoutWidgetsAsksNobody) {
  Arguments args({"tw_system_app_test"});
  QCoreApplication app(args.count, args.pointers.data());
  EXPECT_EQ(ShellService().selectFolder("t", "p"), "");
}

} // namespace
