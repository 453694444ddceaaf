#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/os/CommandLine.h"
#include "platform/os/linux/DesktopEntry.h"
#include "system/ShellService.h"
#include "tests/system/LaunchRecorder.h"
#include "tests/system/TestFiles.h"

namespace {

std::pair<int, QString> validate(const QString &file) {
  QProcess validator;
  validator.setProcessChannelMode(QProcess::MergedChannels);
  validator.start(QStringLiteral("desktop-file-validate"), {file});
  if (!validator.waitForFinished())
    return {-1, QStringLiteral("desktop-file-validate did not run")};
  return {validator.exitCode(), QString::fromUtf8(validator.readAll())};
}

TEST(DesktopEntryTest, ExecQuotesReservedCharactersAndEscapesInsideQuotes) {
  EXPECT_EQ(DesktopEntry::execValue("/bin/app", {}), "/bin/app");
  EXPECT_EQ(DesktopEntry::execValue("/bin/app", {""}), R"(/bin/app "")");
  EXPECT_EQ(DesktopEntry::execValue("/bin/app", {"it's", "a`b", "x\"y", "(1)", "a;b"}),
            R"x(/bin/app "it's" "a\\`b" "x\\"y" "(1)" "a;b")x");
  EXPECT_EQ(DesktopEntry::execValue("/bin/app", {"50%", "tab\there", "new\nline", "5% $x"}),
            R"(/bin/app 50%% "tab\there" "new\nline" "5%% \\$x")");
  EXPECT_EQ(DesktopEntry::execValue("/bin/app", {"plain-=,.:@+"}), "/bin/app plain-=,.:@+");
  // Launchers look the program up before undoing "%%": env takes it as an
  // argument instead, unless env would read it as an assignment or option.
  EXPECT_EQ(DesktopEntry::execValue("/opt/100% sure/app", {"%f"}),
            R"(env "/opt/100%% sure/app" %%f)");
  EXPECT_EQ(DesktopEntry::execValue("/opt/a=b%/app", {}), std::nullopt);
  EXPECT_EQ(DesktopEntry::execValue("", {}), std::nullopt);
}

TEST(DesktopEntryTest, CommandLineKeepsQuotedEmptyArguments) {
  EXPECT_EQ(CommandLine::split(R"(a "" b)"), (QStringList{"a", "", "b"}));
  EXPECT_EQ(CommandLine::split(R"("")"), QStringList{""});
  EXPECT_EQ(CommandLine::split(R"(  "a b"c   """x""" )"), (QStringList{"a bc", "\"x\""}));
  EXPECT_EQ(CommandLine::split("   "), QStringList{});
}

TEST(DesktopEntryTest, ReadsKeysOfTheMainGroupAndKeepsEverythingElseWhenChanged) {
  const QByteArray text = "# made by hand\n"
                          "[Desktop Entry]\n"
                          "Type = Application\n"
                          "Name=Old\n"
                          "Name[de]=Alt\n"
                          "Comment=\\sleading\\tand\\\\slash\\n\n"
                          "OnlyShowIn=GNOME;X\\;Y;\n"
                          "Exec=\"/opt/my app/run\" --x \"a \\\\\\\\ \\\\\" b\" %%U\n"
                          "Hidden=1\n"
                          "\n"
                          "# the action\n"
                          "[Desktop Action new]\n"
                          "Name=New\n";
  auto entry = DesktopEntry::parse(text);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->value("Type"), "Application");
  EXPECT_EQ(entry->value("Name"), "Old");
  EXPECT_EQ(entry->value("Comment"), " leading\tand\\slash\n");
  EXPECT_EQ(entry->list("OnlyShowIn"), (QStringList{"GNOME", "X;Y"}));
  EXPECT_EQ(entry->execArguments(), (QStringList{"/opt/my app/run", "--x", "a \\ \" b", "%%U"}));
  EXPECT_EQ(entry->boolean("Hidden"), true);
  EXPECT_EQ(entry->boolean("Name"), std::nullopt);
  EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nA=Yes\nB=off\n")->boolean("A"), true);
  EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nA=Yes\nB=off\n")->boolean("B"), false);
  EXPECT_FALSE(entry->contains("Icon"));

  entry->setBoolean("Hidden", false);
  entry->setValue("Icon", "/opt/my app/icon.png");
  entry->setList("Categories", {"Utility", "a;b"});
  EXPECT_EQ(entry->text(), "# made by hand\n"
                           "[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=Old\n"
                           "Name[de]=Alt\n"
                           "Comment=\\sleading\\tand\\\\slash\\n\n"
                           "OnlyShowIn=GNOME;X\\;Y;\n"
                           "Exec=\"/opt/my app/run\" --x \"a \\\\\\\\ \\\\\" b\" %%U\n"
                           "Hidden=false\n"
                           "Icon=/opt/my app/icon.png\n"
                           "Categories=Utility;a\\;b;\n"
                           "\n"
                           "# the action\n"
                           "[Desktop Action new]\n"
                           "Name=New\n");
  EXPECT_EQ(DesktopEntry::parse(entry->text())->list("Categories"),
            (QStringList{"Utility", "a;b"}));
}

TEST(DesktopEntryTest, StrayLinesAreKeptButNotRead) {
  const QByteArray text = "Name=x\njunk\n[Desktop Entry]\nType=Application\njust text\n";
  const auto entry = DesktopEntry::parse(text);
  ASSERT_TRUE(entry);
  EXPECT_FALSE(entry->contains("Name"));
  EXPECT_EQ(entry->value("Type"), "Application");
  EXPECT_EQ(entry->text(), text);
  EXPECT_FALSE(DesktopEntry::parse("[Other]\nName=x\n"));
  EXPECT_FALSE(DesktopEntry::load("/nonexistent/x.desktop"));
  const auto unclosed = DesktopEntry::parse("[Desktop Entry]\nExec=\"/bin/a b\n");
  ASSERT_TRUE(unclosed);
  EXPECT_EQ(unclosed->execArguments(), std::nullopt);
}

TEST(DesktopEntryTest, WrittenArgumentsComeBackUnchangedWhenReadAgain) {
  const QStringList arguments = {"",     "50%", "a \"q\" $HOME `x` \\n", " lead", "tab\tnew\nline",
                                 "#(*?)"};
  DesktopEntry entry;
  ASSERT_TRUE(entry.setExec("/opt/Tide well/app", arguments));
  const auto read = DesktopEntry::parse(entry.text());
  ASSERT_TRUE(read);
  QStringList expected = QStringList{"/opt/Tide well/app"} + arguments;
  for (QString &word : expected)
    word.replace("%", "%%");
  EXPECT_EQ(read->execArguments(), expected);
}

TEST(DesktopEntryTest, SaveReplacesALinkInsteadOfWritingThroughIt) {
  QTemporaryDir folder;
  const QString target = folder.filePath("target.desktop");
  ASSERT_TRUE(writeFile(target, "[Desktop Entry]\nName=Target\n"));
  ASSERT_TRUE(QFile::link(target, folder.filePath("entry.desktop")));
  DesktopEntry entry;
  entry.setValue("Name", "New");
  ASSERT_TRUE(entry.save(folder.filePath("entry.desktop"), QFile::ReadOwner | QFile::WriteOwner));
  EXPECT_EQ(readFile(target), "[Desktop Entry]\nName=Target\n");
  EXPECT_FALSE(QFileInfo(folder.filePath("entry.desktop")).isSymLink());
  const QFile::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
  EXPECT_EQ(QFileInfo(folder.filePath("entry.desktop")).permissions() & modeBits,
            QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
            (QStringList{"entry.desktop", "target.desktop"}));
}

// A program path with a percent sign and an empty argument: the shortcut
// passes the validator and GLib starts it with exactly these arguments.
TEST(DesktopEntryTest, ShortcutStartsThroughGlibWithPercentSignsAndEmptyArguments) {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  ASSERT_TRUE(QDir().mkpath(desktop));
  QTemporaryDir root;
  const LaunchRecorder recorder(root.filePath("100% $sure/run 'it'.sh"));
  ShellService shell;
  ASSERT_TRUE(shell.createDesktopShortcut("Pct", recorder.program(),
                                          R"(--x "" "50% off" 'q' a\b "%u")", ""));
  const QString file = desktop + "/Pct.desktop";
  const auto [status, output] = validate(file);
  EXPECT_EQ(status, 0) << output.toStdString();
  EXPECT_FALSE(output.contains("error")) << output.toStdString();
  if (!LaunchRecorder::gioAvailable())
    GTEST_SKIP() << "gio is not installed (package libglib2.0-bin)";
  QString error;
  EXPECT_EQ(recorder.launch(file, &error),
            (QStringList{"[--x]", "[]", "[50% off]", "['q']", "[a\\b]", "[%u]"}))
      << error.toStdString() << readFile(file).toStdString();
}

} // namespace
