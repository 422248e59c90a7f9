// HxPackageDescription::read: what it collects, the errors it reports, and that
// the file runs in a safe interpreter.
#include <hxcore/HxPackageDescription.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

class HxPackageDescriptionTest : public ::testing::Test {
protected:
    std::string pathOf(const std::string& name) const { return folder.path().toStdString() + "/" + name; }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(pathOf(name)) << text;
        return pathOf(name);
    }
    QTemporaryDir folder;
    HxPackageDescription d;
    std::string error;
};

TEST_F(HxPackageDescriptionTest, readsClassesEditorsAndReadersWithPlainTcl) {
    const std::string file = write("pkg.rc", R"(
# a comment
dataClass HxPathData -label "Camera path" -category "Animation" -create 1
dataClass HxHidden -create 0
editor HxPathEditor -edits HxPathData
foreach ext {one two} { reader -extension $ext -format "Format $ext" -symbol read_$ext }
)");
    ASSERT_TRUE(d.read(file, error)) << error;
    EXPECT_EQ(error, "");
    ASSERT_EQ(d.dataClasses.size(), 2u);
    EXPECT_EQ(d.dataClasses[0].label, "Camera path");
    EXPECT_EQ(d.dataClasses[0].category, "Animation");
    EXPECT_TRUE(d.dataClasses[0].userCreatable);
    EXPECT_EQ(d.dataClasses[1].label, "HxHidden") << "the label defaults to the name";
    EXPECT_FALSE(d.dataClasses[1].userCreatable);
    ASSERT_NE(d.findClass("HxHidden"), nullptr);
    EXPECT_EQ(d.findClass("HxNone"), nullptr);
    ASSERT_NE(d.findEditorFor("HxPathData"), nullptr);
    EXPECT_EQ(d.findEditorFor("HxPathData")->editorClass, "HxPathEditor");
    EXPECT_EQ(d.findEditorFor("HxHidden"), nullptr);
    ASSERT_EQ(d.readers.size(), 2u);
    ASSERT_NE(d.findReader("two"), nullptr);
    EXPECT_EQ(d.findReader("two")->symbol, "read_two");
    EXPECT_EQ(d.findReader("two")->formatName, "Format two");
    EXPECT_EQ(d.findReader("three"), nullptr);

    EXPECT_FALSE(d.read(pathOf("absent.rc"), error));
    EXPECT_EQ(error, "cannot open package description \"" + pathOf("absent.rc") + "\"");
    EXPECT_FALSE(d.read(write("bad.rc", "dataClass Lost\ndataClass X -colour red\n"), error));
    EXPECT_EQ(d.dataClasses.size(), 2u) << "a failed read keeps the previous description";
    EXPECT_EQ(d.findClass("Lost"), nullptr);
}

TEST_F(HxPackageDescriptionTest, badFilesAreRefusedWithTheirReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"dataClass A -colour red\n", "dataClass: unknown option \"-colour\""},
        {"reader -extension a -symbol r -speed 3\n", "reader: unknown option \"-speed\""},
        {"editor E -for A\n", "editor: unknown option \"-for\""},
        {"dataClass A -label\n", "dataClass: options come in pairs"},
        {"reader -extension a -symbol\n", "reader: options come in pairs"},
        {"editor E -edits\n", "usage: editor EditorClass -edits DataClass"},
        {"dataClass\n", "usage: dataClass Name -label text [-category text] [-create 0|1]"},
        {"reader -extension a\n", "reader: -extension and -symbol are required"},
        {"reader -symbol r\n", "reader: -extension and -symbol are required"},
        {"plugin vevazaru\n", "invalid command name \"plugin\""},
        {"dataClass A -label {open\n", "missing close-brace"},
        {"dataClass A\nreader -extension a -symbol r\nerror {stop here}\n", "stop here"},
    };
    for (const auto& [text, message] : cases) {
        HxPackageDescription fresh;
        const std::string file = write("bad.rc", text);
        EXPECT_FALSE(fresh.read(file, error)) << text;
        EXPECT_EQ(error, "package description \"" + file + "\": " + message);
        EXPECT_TRUE(fresh.dataClasses.empty() && fresh.readers.empty()) << text;
    }
}

// The description cannot start programs, touch files or load code.
TEST_F(HxPackageDescriptionTest, unsafeCommandsDoNotExist) {
    const std::string victim = pathOf("victim");
    const std::pair<const char*, std::string> cases[] = {
        {"exec", "exec touch " + victim},
        {"open", "close [open " + victim + " w]"},
        {"source", "source " + victim},
        {"load", "load " + victim},
        {"cd", "cd /"},
        {"socket", "socket localhost 1"},
    };
    for (const auto& [command, script] : cases) {
        const std::string file = write("unsafe.rc", "dataClass A\n" + script + "\n");
        EXPECT_FALSE(d.read(file, error));
        EXPECT_EQ(error, "package description \"" + file + "\": invalid command name \"" + command + "\"");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(victim))) << command << " ran";
    }
    std::ofstream(victim) << "keep me";
    EXPECT_FALSE(d.read(write("unsafe.rc", "file delete " + victim + "\n"), error));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(victim)));
}

}  // namespace
