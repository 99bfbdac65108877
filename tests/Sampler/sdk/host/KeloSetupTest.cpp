#include <gtest/gtest.h>

#include "engine/pluginhost/KeloSetup.h"
#include "tests/support/TempDir.h"

namespace kelo::pluginhost {
namespace {

TEST(KeloSetup, ReadsThePluginsInOrder) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- two plug-ins -->\n"
      "<KeloSetup version=\"1\">\n"
      "  <Plugin bundle=\"Plugins/A.bundle\" identifier=\"com.a\" init=\"x &amp; &lt;y&gt; &#233;\"\n"
      "          extra='say &quot;hi&quot;' initOpcode=\"0\" customData=\"ir.wav\"/>\n"
      "  <Other thing=\"1\"/>\n"
      "  <Plugin identifier=\"com.b\" bundle=\"/abs/B.bundle\" />\n"
      "</KeloSetup>\n";
  std::vector<SetupPlugin> plugins;
  std::string error;
  ASSERT_TRUE(parseKeloSetup(text, plugins, error)) << error;
  ASSERT_EQ(plugins.size(), 2u);
  EXPECT_EQ(plugins[0].bundle, "Plugins/A.bundle");
  EXPECT_EQ(plugins[0].identifier, "com.a");
  EXPECT_EQ(plugins[0].initText, "x & <y> \xC3\xA9");
  EXPECT_EQ(plugins[0].extraText, "say \"hi\"");
  EXPECT_FALSE(plugins[0].initThroughRecord);
  EXPECT_EQ(plugins[0].customDataFile, "ir.wav");
  EXPECT_EQ(plugins[1].identifier, "com.b");
  EXPECT_TRUE(plugins[1].initThroughRecord);
  EXPECT_EQ(plugins[1].initText, "");
  EXPECT_EQ(resolvePath("/data", plugins[0].bundle), "/data/Plugins/A.bundle");
  EXPECT_EQ(resolvePath("/data", plugins[1].bundle), "/abs/B.bundle");
  EXPECT_EQ(resolvePath("/data", ""), "");
}

TEST(KeloSetup, AnEmptySetupNamesNoPlugin) {
  for (const char* text : {"<KeloSetup version=\"1\">\n</KeloSetup>", "<KeloSetup/>"}) {
    std::vector<SetupPlugin> plugins{SetupPlugin{}};
    std::string error;
    EXPECT_TRUE(parseKeloSetup(text, plugins, error)) << text << ": " << error;
    EXPECT_TRUE(plugins.empty());
  }
}

TEST(KeloSetup, BrokenFilesAreRefusedWithTheirLine) {
  using namespace std::string_literals;
  struct Case {
    std::string text;
    const char* line;
  };
  const Case cases[] = {
      {"", "line 1"},
      {"<Setup/>", "line 1"},
      {"<KeloSetup>\n<Plugin bundle=\"a\"/>\n</KeloSetup>", "line 2"},  // no identifier
      {"<KeloSetup>\n\n<Plugin bundle=\"a\" identifier=\"b\">\n</KeloSetup>", "line 3"},
      {"<KeloSetup>\n<Plugin bundle=\"a\" identifier=\"b\" initOpcode=\"7\"/>\n</KeloSetup>",
       "line 2"},
      {"<KeloSetup>\n<Plugin bundle=\"a&bogus;\" identifier=\"b\"/>\n</KeloSetup>", "line 2"},
      {"<KeloSetup>\n<Plugin bundle=\"a&#0;\" identifier=\"b\"/>\n</KeloSetup>", "line 2"},
      {"<KeloSetup>\n<Plugin bundle=\"a\" bundle=\"c\" identifier=\"b\"/>\n</KeloSetup>",
       "line 2"},
      {"<KeloSetup>\n<Plugin bundle=a identifier=\"b\"/>\n</KeloSetup>", "line 2"},
      {"<KeloSetup>\ntext\n</KeloSetup>", "line 2"},
      {"<KeloSetup>\n<Plugin bundle=\"a\" identifier=\"b\"/>\n", "line 3"},  // not closed
      {"<!DOCTYPE x [<!ENTITY e \"boom\">]>\n<KeloSetup/>", "line 1"},
      {"<KeloSetup/>\n<KeloSetup/>", "line 2"},
      {"<KeloSetup>\n<!-- open", "line 2"},
      {"<KeloSetup>\n<Plugin bundle=\"a\0b\" identifier=\"b\"/>\n</KeloSetup>"s, "line 2"},
  };
  for (const Case& c : cases) {
    std::vector<SetupPlugin> plugins{SetupPlugin{}};
    std::string error;
    EXPECT_FALSE(parseKeloSetup(c.text, plugins, error)) << c.text;
    EXPECT_EQ(error.rfind(c.line, 0), 0u) << c.text << " -> " << error;
    EXPECT_EQ(plugins.size(), 1u);  // untouched
  }
}

TEST(KeloSetup, ReadsAFile) {
  test::TempDir dir;
  std::vector<SetupPlugin> plugins;
  std::string error;
  EXPECT_FALSE(readKeloSetup(dir.file("KeloSetup.xml"), plugins, error));
  EXPECT_NE(error.find("cannot read"), std::string::npos);
  ASSERT_TRUE(test::writeFile(dir.file("KeloSetup.xml"),
                              "<KeloSetup><Plugin bundle=\"b\" identifier=\"i\"/></KeloSetup>"));
  EXPECT_TRUE(readKeloSetup(dir.file("KeloSetup.xml"), plugins, error)) << error;
  EXPECT_EQ(plugins.size(), 1u);
}

TEST(KeloSetup, InitTextsNameTheDataFolderByAPlaceholder) {
  const struct {
    const char* text;
    const char* expected;
  } kCases[] = {
      {"{DataFolder}/Impulses", "/data/Impulses"},
      {"a{DataFolder}b{DataFolder}", "a/datab/data"},
      {"{DataFolder", "{DataFolder"},
      {"{datafolder}", "{datafolder}"},
      {"", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(withDataFolder(c.text, "/data"), c.expected) << c.text;
}

}  // namespace
}  // namespace kelo::pluginhost
