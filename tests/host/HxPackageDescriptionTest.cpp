// HxPackageDescription::read on small description files: what it collects, the
// errors it reports, and that the file runs in a safe interpreter.
#include <hxcore/HxPackageDescription.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

class HxPackageDescriptionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    // Writes `text` into a file of the temporary folder; returns its path.
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = QDir(folder.path()).filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path) << text;
        return path;
    }
    std::string pathOf(const std::string& name) const {
        return QDir(folder.path()).filePath(QString::fromStdString(name)).toStdString();
    }

    QTemporaryDir folder;
};

TEST_F(HxPackageDescriptionTest, readsClassesEditorsAndReaders) {
    const std::string file = write("pkg.rc", R"(
# a comment
dataClass HxPathData -label "Camera path" -category "Animation" -create 1
dataClass HxHidden -create 0
editor HxPathEditor -edits HxPathData
reader -extension path -format "Camera path file" -symbol readPath
)");
    HxPackageDescription d;
    std::string error;
    ASSERT_TRUE(d.read(file, error)) << error;
    EXPECT_EQ(error, "");

    ASSERT_EQ(d.dataClasses.size(), 2u);
    EXPECT_EQ(d.dataClasses[0].name, "HxPathData");
    EXPECT_EQ(d.dataClasses[0].label, "Camera path");
    EXPECT_EQ(d.dataClasses[0].category, "Animation");
    EXPECT_TRUE(d.dataClasses[0].userCreatable);
    EXPECT_EQ(d.dataClasses[1].name, "HxHidden");
    EXPECT_EQ(d.dataClasses[1].label, "HxHidden") << "the label defaults to the name";
    EXPECT_FALSE(d.dataClasses[1].userCreatable);

    ASSERT_EQ(d.editors.size(), 1u);
    EXPECT_EQ(d.editors[0].editorClass, "HxPathEditor");
    EXPECT_EQ(d.editors[0].dataClass, "HxPathData");

    ASSERT_EQ(d.readers.size(), 1u);
    EXPECT_EQ(d.readers[0].extension, "path");
    EXPECT_EQ(d.readers[0].formatName, "Camera path file");
    EXPECT_EQ(d.readers[0].symbol, "readPath");
}

TEST_F(HxPackageDescriptionTest, findersLookUpByName) {
    const std::string file = write("pkg.rc", R"(
dataClass A -label "A"
dataClass B -label "B"
editor EditA -edits A
reader -extension a -symbol readA
reader -extension b -symbol readB
)");
    HxPackageDescription d;
    std::string error;
    ASSERT_TRUE(d.read(file, error)) << error;
    ASSERT_NE(d.findClass("B"), nullptr);
    EXPECT_EQ(d.findClass("B")->label, "B");
    EXPECT_EQ(d.findClass("C"), nullptr);
    ASSERT_NE(d.findEditorFor("A"), nullptr);
    EXPECT_EQ(d.findEditorFor("A")->editorClass, "EditA");
    EXPECT_EQ(d.findEditorFor("B"), nullptr);
    ASSERT_NE(d.findReader("b"), nullptr);
    EXPECT_EQ(d.findReader("b")->symbol, "readB");
    EXPECT_EQ(d.findReader("c"), nullptr);
}

TEST_F(HxPackageDescriptionTest, plainTclStillWorksInsideTheFile) {
    const std::string file = write("pkg.rc", R"(
foreach ext {one two three} {
    reader -extension $ext -symbol read_$ext
}
set label "Made by [string toupper set]"
dataClass Made -label $label
)");
    HxPackageDescription d;
    std::string error;
    ASSERT_TRUE(d.read(file, error)) << error;
    ASSERT_EQ(d.readers.size(), 3u);
    EXPECT_EQ(d.readers[2].symbol, "read_three");
    EXPECT_EQ(d.findClass("Made")->label, "Made by SET");
}

TEST_F(HxPackageDescriptionTest, emptyFileIsAnEmptyDescription) {
    HxPackageDescription d;
    std::string error;
    ASSERT_TRUE(d.read(write("empty.rc", ""), error)) << error;
    EXPECT_TRUE(d.dataClasses.empty());
    EXPECT_TRUE(d.editors.empty());
    EXPECT_TRUE(d.readers.empty());
}

TEST_F(HxPackageDescriptionTest, missingFileIsReported) {
    const std::string file = pathOf("absent.rc");
    HxPackageDescription d;
    std::string error;
    EXPECT_FALSE(d.read(file, error));
    EXPECT_EQ(error, "cannot open package description \"" + file + "\"");
}

// A bad file leaves the earlier description as it was.
TEST_F(HxPackageDescriptionTest, failedReadKeepsThePreviousDescription) {
    HxPackageDescription d;
    std::string error;
    ASSERT_TRUE(d.read(write("good.rc", "dataClass Kept -label Kept\n"), error)) << error;
    EXPECT_FALSE(d.read(write("bad.rc", "dataClass Lost -label Lost\ndataClass X -colour red\n"), error));
    ASSERT_EQ(d.dataClasses.size(), 1u);
    EXPECT_EQ(d.dataClasses[0].name, "Kept");
}

struct BadFile {
    const char* name;
    const char* text;
    const char* message;  // what follows "package description "<file>": "
};

class HxPackageDescriptionBadFile : public HxPackageDescriptionTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(HxPackageDescriptionBadFile, isRefusedWithItsReason) {
    const std::string file = write("bad.rc", GetParam().text);
    HxPackageDescription d;
    std::string error;
    EXPECT_FALSE(d.read(file, error));
    EXPECT_EQ(error, "package description \"" + file + "\": " + GetParam().message);
    EXPECT_TRUE(d.dataClasses.empty());
    EXPECT_TRUE(d.readers.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, HxPackageDescriptionBadFile,
    ::testing::Values(
        BadFile{"unknownDataClassOption", "dataClass A -colour red\n", "dataClass: unknown option \"-colour\""},
        BadFile{"unknownReaderOption", "reader -extension a -symbol r -speed 3\n", "reader: unknown option \"-speed\""},
        BadFile{"unknownEditorOption", "editor E -for A\n", "editor: unknown option \"-for\""},
        BadFile{"oddDataClassOptions", "dataClass A -label\n", "dataClass: options come in pairs"},
        BadFile{"oddReaderOptions", "reader -extension a -symbol\n", "reader: options come in pairs"},
        BadFile{"editorWrongCount", "editor E -edits\n", "usage: editor EditorClass -edits DataClass"},
        BadFile{"dataClassWithoutName", "dataClass\n",
                "usage: dataClass Name -label text [-category text] [-create 0|1]"},
        BadFile{"readerWithoutSymbol", "reader -extension a\n", "reader: -extension and -symbol are required"},
        BadFile{"readerWithoutExtension", "reader -symbol r\n", "reader: -extension and -symbol are required"},
        BadFile{"unknownCommand", "plugin vevazaru\n", "invalid command name \"plugin\""},
        BadFile{"unbalancedBrace", "dataClass A -label {open\n", "missing close-brace"},
        BadFile{"errorAfterGoodLines", "dataClass A\nreader -extension a -symbol r\nerror {stop here}\n", "stop here"}),
    [](const auto& param) { return std::string(param.param.name); });

// The description is evaluated in a safe interpreter: it cannot start programs,
// touch files or load code.
struct UnsafeCommand {
    const char* name;
    const char* script;
};

class HxPackageDescriptionSafety : public HxPackageDescriptionTest,
                                   public ::testing::WithParamInterface<UnsafeCommand> {};

TEST_P(HxPackageDescriptionSafety, unsafeCommandsDoNotExist) {
    const std::string victim = pathOf("created-by-description");
    std::string script = GetParam().script;
    for (std::string::size_type at; (at = script.find("@FILE@")) != std::string::npos;) script.replace(at, 6, victim);
    const std::string file = write("unsafe.rc", "dataClass A\n" + script + "\n");

    HxPackageDescription d;
    std::string error;
    EXPECT_FALSE(d.read(file, error));
    const std::string command = std::string(GetParam().name);
    EXPECT_EQ(error, "package description \"" + file + "\": invalid command name \"" + command + "\"");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(victim))) << "the command ran";
}

INSTANTIATE_TEST_SUITE_P(Commands, HxPackageDescriptionSafety,
                         ::testing::Values(UnsafeCommand{"exec", "exec touch @FILE@"},
                                           UnsafeCommand{"open", "close [open @FILE@ w]"},
                                           UnsafeCommand{"source", "source @FILE@"},
                                           UnsafeCommand{"load", "load @FILE@"}, UnsafeCommand{"cd", "cd /"},
                                           UnsafeCommand{"socket", "socket localhost 1"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(HxPackageDescriptionTest, fileCommandCannotWriteEither) {
    const std::string victim = pathOf("deleted-by-description");
    std::ofstream(victim) << "keep me";
    const std::string file = write("unsafe.rc", "file delete " + victim + "\n");
    HxPackageDescription d;
    std::string error;
    EXPECT_FALSE(d.read(file, error));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(victim)));
}

}  // namespace
