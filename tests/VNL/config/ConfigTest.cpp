#include "VNL/source/Config.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/PlatformWrappers.h"
#include "platform/cf/CoreFoundation.h"
#include "platform/preferences/PreferenceStore.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

KELO_PREFERENCE_SANDBOX();

using namespace vantor;
using kelo::prefs::Scope;
using kelo::test::PreferenceSandbox;
using Keys = std::vector<std::string>;

const std::string kDomain = "com.vantor.KeloDeckSA";

class Config : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::requirePreferenceSandbox();
    PreferenceSandbox::clear();
  }
  // Stores any property-list value straight into the store.
  static void store(const std::string& key, CFTypeRef value, Scope scope = {},
                    const std::string& domain = kDomain) {
    ASSERT_TRUE(kelo::prefs::setValue(domain, key, value, scope));
    CFRelease(value);
  }
  static CFTypeRef dictionary(std::vector<std::pair<const char*, CFTypeRef>> entries) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (auto& [key, value] : entries) {
      CFStringRef name = kelo::cf::makeString(key);
      CFDictionarySetValue(dict, name, value);
      CFRelease(name);
      CFRelease(value);
    }
    return dict;
  }
  static CFTypeRef text(const std::string& value) { return kelo::cf::makeString(value); }
  // Writes a preferences file under a library root directly, as another tool would.
  static void writePlist(const std::string& root, const std::string& domain, const std::string& body) {
    const std::string folder = root + "/Preferences";
    mkdir(root.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    ASSERT_TRUE(kelo::test::writeFile(
        folder + "/" + domain + ".plist",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body +
            "</dict></plist>\n"));
  }
};

TEST_F(Config, TheStoreAndTheFolderLookupShareTheLibraryRoots) {
  std::string user, local;
  ASSERT_TRUE(wrap_FindFolder(VNL_LibraryFolder, VNL_UserDomain, user, false));
  ASSERT_TRUE(wrap_FindFolder(VNL_LibraryFolder, VNL_LocalDomain, local, false));
  EXPECT_EQ(user, kelo::prefs::userLibraryRoot());
  EXPECT_EQ(local, kelo::prefs::localLibraryRoot());
  kelo::test::ScopedEnvironment environment;
  environment.unset("VANTOR_USER_LIBRARY_DIR");
  environment.unset("VANTOR_LOCAL_LIBRARY_DIR");
  ASSERT_TRUE(wrap_FindFolder(VNL_LibraryFolder, VNL_UserDomain, user, false));
  ASSERT_TRUE(wrap_FindFolder(VNL_LibraryFolder, VNL_LocalDomain, local, false));
  EXPECT_EQ(user, kelo::prefs::userLibraryRoot());
  EXPECT_EQ(local, kelo::prefs::localLibraryRoot());
}

TEST_F(Config, StringsAndIntegersAreReadOnlyAsTheirOwnKind) {
  const double half = 1.5, whole = 2.0;
  const long long big = 3000000000LL;
  store("text48000", text("48000"));
  store("half", CFNumberCreate(nullptr, kCFNumberFloat64Type, &half));
  store("whole", CFNumberCreate(nullptr, kCFNumberFloat64Type, &whole));
  store("big", CFNumberCreate(nullptr, kCFNumberSInt64Type, &big));
  ASSERT_TRUE(writeConfigIntValue(kDomain, "samplerate", 44100, CONFIG_LEVEL_USER));
  ASSERT_TRUE(writeConfigIntValue(kDomain, "negative", -5, CONFIG_LEVEL_SYSTEM));
  ASSERT_TRUE(writeConfigStringValue(kDomain, "audiodevice", "Built-in", CONFIG_LEVEL_USER));

  const struct {
    const char* key;
    bool isInt;
    int intValue;
    bool isText;
    const char* textValue;
  } cases[] = {
      {"text48000", false, 0, true, "48000"}, {"half", false, 0, false, ""},
      {"whole", true, 2, false, ""},          {"big", false, 0, false, ""},
      {"samplerate", true, 44100, false, ""}, {"negative", true, -5, false, ""},
      {"audiodevice", false, 0, true, "Built-in"}, {"missing", false, 0, false, ""},
  };
  for (const auto& c : cases) {
    int number = 77;
    EXPECT_EQ(readConfigIntValue(kDomain, c.key, number, CONFIG_LEVEL_USER), c.isInt) << c.key;
    EXPECT_EQ(number, c.isInt ? c.intValue : 77) << c.key;
    std::string value = "unchanged";
    EXPECT_EQ(readConfigStringValue(kDomain, c.key, value, CONFIG_LEVEL_USER), c.isText) << c.key;
    EXPECT_EQ(value, c.isText ? c.textValue : "unchanged") << c.key;
  }
}

TEST_F(Config, TextsComeBackUpTo2047Bytes) {
  const std::string fits(2047, 'x');
  const std::string tooLong(2048, 'y');
  ASSERT_TRUE(writeConfigStringValue(kDomain, "fits", fits, CONFIG_LEVEL_USER));
  ASSERT_TRUE(writeConfigStringValue(kDomain, "long", tooLong, CONFIG_LEVEL_USER));
  store("nested", dictionary({{"fits", text(fits)}, {"long", text(tooLong)}}));
  for (int level : {0, 1, 4}) {
    std::string value = "unchanged";
    EXPECT_TRUE(readConfigStringValue(kDomain, "fits", value, CONFIG_LEVEL(level))) << level;
    EXPECT_EQ(value, fits);
    value = "unchanged";
    EXPECT_FALSE(readConfigStringValue(kDomain, "long", value, CONFIG_LEVEL(level))) << level;
    EXPECT_EQ(value, "unchanged");
  }
  std::string value;
  EXPECT_TRUE(readConfigStringValue(kDomain, Keys{"nested", "fits"}, value, CONFIG_LEVEL_USER));
  EXPECT_FALSE(readConfigStringValue(kDomain, Keys{"nested", "long"}, value, CONFIG_LEVEL_USER));
  Keys keys;
  store(std::string(2048, 'k'), text("v"), {}, "com.vantor.keys");
  store("short", text("v"), {}, "com.vantor.keys");
  EXPECT_TRUE(listConfigKeys("com.vantor.keys", Keys{}, keys, CONFIG_LEVEL_USER));
  EXPECT_EQ(keys, Keys{"short"}) << "a key of 2048 bytes does not come back";
}

TEST_F(Config, KeyPathsOfOneToThreeKeysAndTheLevelZeroAsymmetry) {
  // Written at level 1: all users / current host, found through the search list at level 1.
  EXPECT_TRUE(writeConfigStringValue(kDomain, Keys{"one"}, "1", CONFIG_LEVEL_SYSTEM));
  EXPECT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "b"}, "2", CONFIG_LEVEL_SYSTEM));
  EXPECT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "c", "d"}, "3", CONFIG_LEVEL_SYSTEM));
  EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"w", "x", "y", "z"}, "4", CONFIG_LEVEL_SYSTEM));
  EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{}, "0", CONFIG_LEVEL_SYSTEM));
  const struct {
    Keys path;
    bool found;
    const char* value;
  } cases[] = {
      {{"one"}, true, "1"},         {{"a", "b"}, true, "2"}, {{"a", "c", "d"}, true, "3"},
      {{"a", "c"}, false, ""},      {{"a", "x"}, false, ""}, {{"w", "x", "y", "z"}, false, ""},
      {{"one", "x"}, false, ""},    {{}, false, ""},
  };
  for (const auto& c : cases) {
    std::string value = "unchanged";
    EXPECT_EQ(readConfigStringValue(kDomain, c.path, value, CONFIG_LEVEL_SYSTEM), c.found)
        << c.path.size();
    EXPECT_EQ(value, c.found ? c.value : "unchanged");
  }
  Keys keys;
  EXPECT_FALSE(listConfigKeys(kDomain, Keys{"w"}, keys, CONFIG_LEVEL_SYSTEM))
      << "the four-key write stored nothing";

  // Written at level 0: current user / current host; the level-0 read looks at current user /
  // any host, so the value reads back only at level 1.
  EXPECT_TRUE(writeConfigStringValue(kDomain, Keys{"user", "key"}, "u", CONFIG_LEVEL_USER));
  std::string value = "unchanged";
  EXPECT_FALSE(readConfigStringValue(kDomain, Keys{"user", "key"}, value, CONFIG_LEVEL_USER));
  EXPECT_TRUE(readConfigStringValue(kDomain, Keys{"user", "key"}, value, CONFIG_LEVEL_SYSTEM));
  EXPECT_EQ(value, "u");
  struct stat status {};
  EXPECT_EQ(stat(kelo::prefs::preferencesFile(kDomain, {false, true}).c_str(), &status), 0);
}

TEST_F(Config, AOneKeyPathIsTheSingleKeyReadAndAMissingPathTriesTheLocalFile) {
  store("solo", text("user"), {false, false});
  for (int level : {0, 1, 2, 4, 9}) {
    std::string single = "s", path = "p";
    const bool a = readConfigStringValue(kDomain, "solo", single, CONFIG_LEVEL(level));
    const bool b = readConfigStringValue(kDomain, Keys{"solo"}, path, CONFIG_LEVEL(level));
    EXPECT_EQ(a, b) << level;
    EXPECT_EQ(single, path) << level;
  }
  writePlist(PreferenceSandbox::localLibrary(), kDomain,
             "<key>dev</key><dict><key>name</key><string>local</string></dict>");
  std::string value;
  EXPECT_TRUE(readConfigStringValue(kDomain, Keys{"dev", "name"}, value, CONFIG_LEVEL_USER));
  EXPECT_EQ(value, "local");
  // The user's value, where there is one, comes first.
  store("dev", dictionary({{"name", text("mine")}}), {false, false});
  EXPECT_TRUE(readConfigStringValue(kDomain, Keys{"dev", "name"}, value, CONFIG_LEVEL_USER));
  EXPECT_EQ(value, "mine");
  EXPECT_TRUE(readConfigStringValue(kDomain, Keys{"dev", "name"}, value, CONFIG_LEVEL_LOCAL_FILE));
  EXPECT_EQ(value, "local");
}

TEST_F(Config, ListingAppendsInStoredOrderAndMergingSortsBytes) {
  store("Root", dictionary({{"zeta", text("1")}, {"alpha", text("2")}, {"mid", text("3")}}));
  Keys keys{"kept"};
  EXPECT_TRUE(listConfigKeys(kDomain, "", keys, CONFIG_LEVEL_USER));
  EXPECT_TRUE(listConfigKeys(kDomain, "Root", keys, CONFIG_LEVEL_SYSTEM));
  EXPECT_EQ(keys, (Keys{"kept", "zeta", "alpha", "mid", "zeta", "alpha", "mid"}));
  keys.clear();
  EXPECT_TRUE(listConfigKeys(kDomain, Keys{}, keys, CONFIG_LEVEL_USER));
  EXPECT_EQ(keys, Keys{"Root"});
  EXPECT_FALSE(listConfigKeys(kDomain, "missing", keys, CONFIG_LEVEL_USER));
  EXPECT_FALSE(listConfigStringKeys(kDomain, "Root", keys, CONFIG_LEVEL_USER));

  store("devices", dictionary({{"b", text("")}, {"a", text("")}, {"\xc3\xa9", text("")}}),
        {true, true});
  store("devices", dictionary({{"c", text("")}, {"a", text("")}, {"B", text("")}}),
        {false, true});
  keys = {"kept"};
  EXPECT_TRUE(listAndMergeSystemUserConfigKeys(kDomain, "devices", keys));
  EXPECT_EQ(keys, (Keys{"kept", "B", "a", "b", "c", "\xc3\xa9"}));
  EXPECT_FALSE(listAndMergeSystemUserConfigKeys(kDomain, "nothing", keys));

  store("outer", dictionary({{"inner", dictionary({{"x", text("")}, {"y", text("")}})}}));
  keys.clear();
  EXPECT_TRUE(listConfigKeys(kDomain, Keys{"outer", "inner"}, keys, CONFIG_LEVEL_USER));
  EXPECT_EQ(keys, (Keys{"x", "y"}));
}

TEST_F(Config, TheUserFileLevelMatchesKeysCaseInsensitivelyAndTheLastWins) {
  writePlist(PreferenceSandbox::userLibrary(), "com.vantor.kelo",
             "<key>Path</key><string>/first</string>"
             "<key>other</key><string>/no</string>"
             "<key>path</key><string>/second</string>"
             "<key>PATH</key><integer>3</integer>");
  std::string value;
  for (const char* key : {"path", "PATH", "pAtH"}) {
    value = "unchanged";
    EXPECT_TRUE(readConfigStringValue("com.vantor.kelo", key, value, CONFIG_LEVEL_USER_FILE));
    EXPECT_EQ(value, "/second") << key;
  }
  value = "unchanged";
  EXPECT_FALSE(readConfigStringValue("com.vantor.kelo", "paths", value, CONFIG_LEVEL_USER_FILE));
  EXPECT_FALSE(readConfigStringValue("com.vantor.none", "path", value, CONFIG_LEVEL_USER_FILE));
  EXPECT_EQ(value, "unchanged");
  // The same file is the store's current user / any host file.
  EXPECT_TRUE(readConfigStringValue("com.vantor.kelo", "Path", value, CONFIG_LEVEL_USER));
  EXPECT_EQ(value, "/first");
}

TEST_F(Config, DeletingValuesAndKeys) {
  ASSERT_TRUE(writeConfigStringValue(kDomain, "gone", "x", CONFIG_LEVEL_USER));
  EXPECT_TRUE(deleteConfigValue(kDomain, "gone", CONFIG_LEVEL_USER));
  std::string value = "unchanged";
  EXPECT_FALSE(readConfigStringValue(kDomain, "gone", value, CONFIG_LEVEL_USER));
  EXPECT_FALSE(deleteConfigKey(kDomain, "anything", CONFIG_LEVEL_USER));

  ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"top"}, "t", CONFIG_LEVEL_USER));
  ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "b"}, "1", CONFIG_LEVEL_USER));
  ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "c"}, "2", CONFIG_LEVEL_USER));
  ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "d", "e"}, "3", CONFIG_LEVEL_USER));
  ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "d", "f"}, "4", CONFIG_LEVEL_USER));
  EXPECT_TRUE(deleteConfigKey(kDomain, Keys{"a"}, "b", CONFIG_LEVEL_USER));
  EXPECT_TRUE(deleteConfigKey(kDomain, Keys{"a", "d"}, "e", CONFIG_LEVEL_USER));
  EXPECT_TRUE(deleteConfigKey(kDomain, Keys{}, "top", CONFIG_LEVEL_USER));
  EXPECT_TRUE(deleteConfigKey(kDomain, Keys{"missing"}, "x", CONFIG_LEVEL_USER));
  EXPECT_FALSE(deleteConfigKey(kDomain, Keys{"a", "d", "f"}, "x", CONFIG_LEVEL_USER));
  const struct {
    Keys path;
    bool found;
  } cases[] = {{{"top"}, false}, {{"a", "b"}, false}, {{"a", "c"}, true},
               {{"a", "d", "e"}, false}, {{"a", "d", "f"}, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(readConfigStringValue(kDomain, c.path, value, CONFIG_LEVEL_SYSTEM), c.found)
        << c.path.back();
  }
}

TEST_F(Config, UnsafeDomainsAndBadTextAreRefused) {
  const std::string badUtf8 = "\xff\xfe";
  for (const std::string& domain : {std::string(), std::string("."), std::string("/"), std::string(".."),
                                    std::string("com/vantor"), std::string("../../etc/x"),
                                    badUtf8}) {
    std::string value = "unchanged";
    int number = 5;
    Keys keys;
    EXPECT_FALSE(writeConfigStringValue(domain, "k", "v", CONFIG_LEVEL_USER));
    EXPECT_FALSE(writeConfigIntValue(domain, "k", 1, CONFIG_LEVEL_USER));
    EXPECT_FALSE(writeConfigStringValue(domain, Keys{"k", "j"}, "v", CONFIG_LEVEL_SYSTEM));
    EXPECT_FALSE(deleteConfigValue(domain, "k", CONFIG_LEVEL_USER));
    EXPECT_FALSE(deleteConfigKey(domain, Keys{}, "k", CONFIG_LEVEL_USER));
    for (int level : {0, 1, 3, 4})
      EXPECT_FALSE(readConfigStringValue(domain, "k", value, CONFIG_LEVEL(level)));
    EXPECT_FALSE(readConfigStringValue(domain, Keys{"k", "j"}, value, CONFIG_LEVEL_USER));
    EXPECT_FALSE(readConfigIntValue(domain, "k", number, CONFIG_LEVEL_USER));
    EXPECT_FALSE(listConfigKeys(domain, Keys{}, keys, CONFIG_LEVEL_USER));
    EXPECT_FALSE(listAndMergeSystemUserConfigKeys(domain, "k", keys));
    EXPECT_EQ(value, "unchanged");
    EXPECT_EQ(number, 5);
  }
  EXPECT_FALSE(writeConfigStringValue(kDomain, badUtf8, "v", CONFIG_LEVEL_USER));
  EXPECT_FALSE(writeConfigStringValue(kDomain, "k", badUtf8, CONFIG_LEVEL_USER));
  struct stat status {};
  EXPECT_NE(stat(PreferenceSandbox::userLibrary().c_str(), &status), 0) << "nothing was written";
  EXPECT_NE(stat(PreferenceSandbox::localLibrary().c_str(), &status), 0);
}

TEST_F(Config, WritesThatCannotReachStorageAnswerFalse) {
  const std::string blocker = PreferenceSandbox::home() + "/plain-file";
  ASSERT_TRUE(kelo::test::writeFile(blocker, "x"));
  kelo::test::ScopedEnvironment environment;
  environment.set("VANTOR_USER_LIBRARY_DIR", blocker + "/library");
  environment.set("VANTOR_LOCAL_LIBRARY_DIR", blocker + "/local");
  EXPECT_FALSE(writeConfigStringValue(kDomain, "k", "v", CONFIG_LEVEL_USER));
  EXPECT_FALSE(writeConfigIntValue(kDomain, "k", 1, CONFIG_LEVEL_USER));
  EXPECT_FALSE(deleteConfigValue(kDomain, "k", CONFIG_LEVEL_USER));
  EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"k", "j"}, "v", CONFIG_LEVEL_SYSTEM));
  EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"k"}, "v", CONFIG_LEVEL_USER));
}

}  // namespace
