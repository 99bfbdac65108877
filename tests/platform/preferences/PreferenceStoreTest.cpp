#include "platform/preferences/PreferenceStore.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/cf/CoreFoundation.h"
#include "platform/preferences/CFPreferences.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/ScopedEnvironment.h"

namespace {

KELO_PREFERENCE_SANDBOX();

using kelo::prefs::Scope;
using kelo::test::PreferenceSandbox;
using kelo::test::textFromChild;
using kelo::test::readFile;
using kelo::test::writeFile;

class PreferenceStore : public ::testing::Test {
 protected:
  void SetUp() override {
    kelo::test::requirePreferenceSandbox();
    PreferenceSandbox::clear();
  }
};

// Owns one CF reference.
struct Ref {
  explicit Ref(CFTypeRef object) : object(object) {}
  ~Ref() { CFRelease(object); }
  CFTypeRef object;
};

bool setText(const std::string& domain, const std::string& key, const std::string& value,
             Scope scope = {}) {
  Ref text(kelo::cf::makeString(value));
  return kelo::prefs::setValue(domain, key, text.object, scope);
}

std::string textAt(const std::string& domain, const std::string& key, Scope scope = {}) {
  Ref value(kelo::prefs::copyValue(domain, key, scope));
  if (value.object == nullptr || CFGetTypeID(value.object) != CFStringGetTypeID()) return "<none>";
  return std::string(kelo::cf::utf8(static_cast<CFStringRef>(value.object)));
}

// What Python's plistlib, a reader independent of ours, makes of a file.
std::string readWithPython(const std::string& file, const std::string& key) {
  const std::string command = "python3 -c 'import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
                              "print(d[sys.argv[2]], end=\"\")' '" + file + "' '" + key + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<popen failed>";
  std::string out;
  char buffer[256];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : "<unreadable>";
}

TEST_F(PreferenceStore, EachScopeHasItsFileUnderItsRoot) {
  const std::string user = PreferenceSandbox::userLibrary() + "/Preferences/";
  const std::string local = PreferenceSandbox::localLibrary() + "/Preferences/";
  const struct {
    Scope scope;
    std::string file;
  } cases[] = {
      {{false, false}, user + "com.vantor.kelo.plist"},
      {{false, true}, user + "ByHost/com.vantor.kelo.kelo-test-host.plist"},
      {{true, false}, local + "com.vantor.kelo.plist"},
      {{true, true}, local + "ByHost/com.vantor.kelo.kelo-test-host.plist"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kelo::prefs::preferencesFile("com.vantor.kelo", c.scope), c.file);
    const std::string value = "/in/" + c.file;
    ASSERT_TRUE(setText("com.vantor.kelo", "path", value, c.scope)) << kelo::prefs::lastError();
    EXPECT_EQ(readWithPython(c.file, "path"), value);
    EXPECT_EQ(textAt("com.vantor.kelo", "path", c.scope), value);
  }
}

TEST_F(PreferenceStore, RootsFollowTheVariablesWithoutTrailingSlashes) {
  const std::string home = PreferenceSandbox::home();
  const struct {
    const char* home;
    const char* config;  // XDG_CONFIG_HOME; null: unset
    const char* user;    // VANTOR_USER_LIBRARY_DIR; null: unset
    const char* local;   // VANTOR_LOCAL_LIBRARY_DIR; null: unset
    std::string userRoot, localRoot;
  } cases[] = {
      {"/h", nullptr, nullptr, nullptr, "/h/.config/vantor", "/etc/vantor"},
      {"/h//", nullptr, nullptr, nullptr, "/h/.config/vantor", "/etc/vantor"},
      {"/h", "/c/", nullptr, nullptr, "/c//vantor", "/etc/vantor"},
      {"/h", "relative", nullptr, nullptr, "/h/.config/vantor", "/etc/vantor"},
      {"/h", "/c", "/u/", "/l//", "/u", "/l"},
      {"/h", "/c", "", "", "/c/vantor", "/etc/vantor"},
  };
  for (const auto& c : cases) {
    kelo::test::ScopedEnvironment environment;
    const auto put = [&](const char* name, const char* value) {
      if (value != nullptr)
        environment.set(name, value);
      else
        environment.unset(name);
    };
    put("HOME", c.home);
    put("XDG_CONFIG_HOME", c.config);
    put("VANTOR_USER_LIBRARY_DIR", c.user);
    put("VANTOR_LOCAL_LIBRARY_DIR", c.local);
    EXPECT_EQ(kelo::prefs::userLibraryRoot(), c.userRoot) << c.home << " " << (c.config ? c.config : "-");
    EXPECT_EQ(kelo::prefs::localLibraryRoot(), c.localRoot) << (c.local ? c.local : "-");
  }
  EXPECT_EQ(kelo::prefs::homeFolder(), home);
}

TEST_F(PreferenceStore, UnsafeDomainsAreRefusedEverywhere) {
  for (const char* domain : {"", ".", "/", "a/b", "..", "com..vantor", "../etc/passwd", "/etc/x"}) {
    EXPECT_FALSE(kelo::prefs::isSafeDomain(domain)) << domain;
    EXPECT_EQ(kelo::prefs::preferencesFile(domain, {}), "") << domain;
    EXPECT_FALSE(setText(domain, "key", "value")) << domain;
    EXPECT_EQ(textAt(domain, "key"), "<none>");
    Ref name(kelo::cf::makeString(domain));
    CFPreferencesSetValue(CFSTR("key"), CFSTR("value"), static_cast<CFStringRef>(name.object),
                          kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    EXPECT_FALSE(CFPreferencesSynchronize(static_cast<CFStringRef>(name.object),
                                          kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
  }
  for (const char* domain : {"com.vantor.kelo", "a", ".a", "a.", "a.b"})
    EXPECT_TRUE(kelo::prefs::isSafeDomain(domain)) << domain;
  struct stat status {};
  EXPECT_NE(stat(PreferenceSandbox::userLibrary().c_str(), &status), 0) << "nothing was written";
}

TEST_F(PreferenceStore, KindsTheSystemDoesNotUseSurviveAWrite) {
  const std::string file = kelo::prefs::preferencesFile("com.vantor.kinds", {});
  ASSERT_EQ(mkdir(PreferenceSandbox::userLibrary().c_str(), 0755), 0);
  ASSERT_EQ(mkdir((PreferenceSandbox::userLibrary() + "/Preferences").c_str(), 0755), 0);
  const std::string original =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<plist version=\"1.0\"><dict>"
      "<key>when</key><date>2021-03-04T05:06:07Z</date>"
      "<key>blob</key><data>AAEC/w==</data>"
      "<key>ratio</key><real>0.25</real>"
      "<key>on</key><true/>"
      "<key>list</key><array><integer>1</integer><string>two</string></array>"
      "<key>nested</key><dict><key>deep</key><integer>-7</integer></dict>"
      "</dict></plist>\n";
  ASSERT_TRUE(writeFile(file, original));
  Ref before(kelo::cf::readPropertyListFile(file));
  ASSERT_NE(before.object, nullptr);

  ASSERT_TRUE(setText("com.vantor.kinds", "added", "yes"));
  Ref after(kelo::cf::readPropertyListFile(file));
  ASSERT_NE(after.object, nullptr);
  Ref copy(CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(after.object)));
  CFDictionaryRemoveValue(const_cast<CFMutableDictionaryRef>(
                              static_cast<CFDictionaryRef>(copy.object)), CFSTR("added"));
  EXPECT_TRUE(CFEqual(copy.object, before.object)) << readFile(file);
  EXPECT_EQ(readWithPython(file, "when"), "2021-03-04 05:06:07");
  EXPECT_EQ(readWithPython(file, "blob"), "b'\\x00\\x01\\x02\\xff'");
}

TEST_F(PreferenceStore, AWriteBesideAnEarlyDateLeavesADomainThatStillReads) {
  // A date before the year 1000 reads; the write of another key keeps it as it was, and every
  // key reads and every later write succeeds.
  const std::string file = kelo::prefs::preferencesFile("com.vantor.dates", {});
  ASSERT_EQ(mkdir(PreferenceSandbox::userLibrary().c_str(), 0755), 0);
  ASSERT_EQ(mkdir((PreferenceSandbox::userLibrary() + "/Preferences").c_str(), 0755), 0);
  ASSERT_TRUE(writeFile(file,
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<plist version=\"1.0\"><dict>"
                        "<key>old</key><date>0220-01-01T00:00:00Z</date>"
                        "<key>name</key><string>kept</string>"
                        "</dict></plist>\n"));
  Ref before(kelo::prefs::copyValue("com.vantor.dates", "old", {}));
  ASSERT_NE(before.object, nullptr);

  ASSERT_TRUE(setText("com.vantor.dates", "added", "yes"));
  EXPECT_NE(readFile(file).find("<date>0220-01-01T00:00:00Z</date>"), std::string::npos)
      << readFile(file);
  Ref after(kelo::prefs::copyValue("com.vantor.dates", "old", {}));
  ASSERT_NE(after.object, nullptr) << readFile(file);
  EXPECT_TRUE(CFEqual(after.object, before.object));
  EXPECT_EQ(textAt("com.vantor.dates", "name"), "kept");
  EXPECT_EQ(textAt("com.vantor.dates", "added"), "yes");
  EXPECT_TRUE(setText("com.vantor.dates", "later", "also")) << kelo::prefs::lastError();
  EXPECT_EQ(textAt("com.vantor.dates", "later"), "also");
  EXPECT_EQ(readWithPython(file, "old"), "0220-01-01 00:00:00");
}

std::string foundName(kelo::prefs::DomainFile found) {
  switch (found) {
    case kelo::prefs::DomainFile::Read: return "read";
    case kelo::prefs::DomainFile::Missing: return "missing";
    case kelo::prefs::DomainFile::Refused: return "refused";
    case kelo::prefs::DomainFile::NotRegularFile: return "not a regular file";
    case kelo::prefs::DomainFile::Unreadable: return "unreadable";
  }
  return "?";
}

TEST_F(PreferenceStore, AFifoAtTheDomainFileOrItsLockIsRefusedWithoutWaiting) {
  const std::string file = kelo::prefs::preferencesFile("com.vantor.fifo", {});
  ASSERT_TRUE(setText("com.vantor.other", "a", "1"));  // makes the folder
  ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  // Readers and writers answer at once, the writer with a message that says what is wrong.
  EXPECT_EQ(textFromChild([] {
              kelo::prefs::DomainFile found = kelo::prefs::DomainFile::Read;
              Ref value(kelo::prefs::copyValue("com.vantor.fifo", "a", {}, &found));
              return std::string(value.object ? "a value" : "no value") + ", " + foundName(found);
            }),
            "no value, not a regular file");
  EXPECT_EQ(textFromChild([] {
              Ref value(CFPreferencesCopyAppValue(CFSTR("a"), CFSTR("com.vantor.fifo")));
              return std::string(value.object ? "a value" : "no value");
            }),
            "no value");
  EXPECT_EQ(textFromChild([] {
              const bool stored = setText("com.vantor.fifo", "a", "1");
              return std::string(stored ? "stored: " : "refused: ") + kelo::prefs::lastError();
            }),
            "refused: not a regular file: " + file);
  struct stat status {};
  ASSERT_EQ(lstat(file.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode)) << "left as it is";

  // A FIFO in place of the lock file: the write is refused, nothing is written, and readers
  // (who take no lock) are not concerned.
  ASSERT_EQ(unlink(file.c_str()), 0);
  ASSERT_TRUE(setText("com.vantor.fifo", "a", "1"));
  const std::string lock = file + ".lock";
  ASSERT_EQ(unlink(lock.c_str()), 0);
  ASSERT_EQ(mkfifo(lock.c_str(), 0644), 0);
  EXPECT_EQ(textFromChild([] {
              const bool stored = setText("com.vantor.fifo", "a", "2");
              return std::string(stored ? "stored: " : "refused: ") + kelo::prefs::lastError();
            }),
            "refused: not a regular file: " + lock);
  EXPECT_EQ(textAt("com.vantor.fifo", "a"), "1");
}

TEST_F(PreferenceStore, AFileThatIsNotADictionaryIsLeftAsItIs) {
  const std::string file = kelo::prefs::preferencesFile("com.vantor.broken", {});
  ASSERT_TRUE(setText("com.vantor.broken", "first", "1"));
  for (const std::string& bytes :
       {std::string("<?xml version=\"1.0\"?><plist><dict><key>a</key>"),  // truncated
        std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>x</string></plist>")}) {
    ASSERT_TRUE(writeFile(file, bytes));
    EXPECT_FALSE(setText("com.vantor.broken", "second", "2"));
    EXPECT_FALSE(kelo::prefs::lastError().empty());
    EXPECT_EQ(readFile(file), bytes);
  }
}

TEST_F(PreferenceStore, RemovingAKeyAndAWriteThatCannotReachStorage) {
  ASSERT_TRUE(setText("com.vantor.kelo", "a", "1"));
  ASSERT_TRUE(setText("com.vantor.kelo", "b", "2"));
  EXPECT_TRUE(kelo::prefs::setValue("com.vantor.kelo", "a", nullptr, {}));
  EXPECT_EQ(textAt("com.vantor.kelo", "a"), "<none>");
  EXPECT_EQ(textAt("com.vantor.kelo", "b"), "2");
  // Removing from a domain without a file creates none.
  EXPECT_TRUE(kelo::prefs::setValue("com.vantor.none", "a", nullptr, {}));
  struct stat status {};
  EXPECT_NE(stat(kelo::prefs::preferencesFile("com.vantor.none", {}).c_str(), &status), 0);

  // A root below a plain file can never be created, whoever runs the test.
  const std::string blocker = PreferenceSandbox::home() + "/plain-file";
  ASSERT_TRUE(writeFile(blocker, "x"));
  kelo::test::ScopedEnvironment environment;
  environment.set("VANTOR_USER_LIBRARY_DIR", blocker + "/library");
  EXPECT_FALSE(setText("com.vantor.kelo", "a", "1"));
  CFPreferencesSetValue(CFSTR("a"), CFSTR("1"), CFSTR("com.vantor.kelo"),
                        kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  EXPECT_FALSE(CFPreferencesSynchronize(CFSTR("com.vantor.kelo"), kCFPreferencesCurrentUser,
                                        kCFPreferencesAnyHost));
  EXPECT_TRUE(CFPreferencesSynchronize(CFSTR("com.vantor.kelo"), kCFPreferencesCurrentUser,
                                       kCFPreferencesAnyHost))
      << "a failure is reported once";
}

TEST_F(PreferenceStore, SearchListPrefersTheUserAndTheCurrentHost) {
  ASSERT_TRUE(setText("com.vantor.kelo", "k", "all-any", {true, false}));
  Ref a(CFPreferencesCopyAppValue(CFSTR("k"), CFSTR("com.vantor.kelo")));
  EXPECT_TRUE(CFEqual(a.object, CFSTR("all-any")));
  ASSERT_TRUE(setText("com.vantor.kelo", "k", "all-host", {true, true}));
  ASSERT_TRUE(setText("com.vantor.kelo", "k", "user-any", {false, false}));
  Ref b(CFPreferencesCopyAppValue(CFSTR("k"), CFSTR("com.vantor.kelo")));
  EXPECT_TRUE(CFEqual(b.object, CFSTR("user-any")));
  ASSERT_TRUE(setText("com.vantor.kelo", "k", "user-host", {false, true}));
  Ref c(CFPreferencesCopyAppValue(CFSTR("k"), CFSTR("com.vantor.kelo")));
  EXPECT_TRUE(CFEqual(c.object, CFSTR("user-host")));
}

// Children write their own keys of one domain at the same time: the locked re-read keeps
// every other process's keys.
// "p<process>k<key>", appended piece by piece: GCC 12 warns wrongly about "p" + std::string
// (its bug 105329).
std::string keyOf(int process, int key) {
  std::string name = "p";
  name += std::to_string(process);
  name += 'k';
  name += std::to_string(key);
  return name;
}

TEST_F(PreferenceStore, ProcessesWritingDifferentKeysAtOnceLoseNothing) {
  constexpr int kProcesses = 6;
  constexpr int kKeys = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int failures = 0;
      for (int k = 0; k < kKeys; ++k) {
        const std::string key = keyOf(p, k);
        if (!setText("com.vantor.shared", key, key + "-value")) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Ref values(kelo::prefs::copyDomain("com.vantor.shared", {}));
  ASSERT_NE(values.object, nullptr);
  EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(values.object)),
            kProcesses * kKeys);
  for (int p = 0; p < kProcesses; ++p)
    for (int k = 0; k < kKeys; ++k) {
      const std::string key = keyOf(p, k);
      EXPECT_EQ(textAt("com.vantor.shared", key), key + "-value");
    }
}

TEST_F(PreferenceStore, AReaderBesideAWriterNeverSeesAPartialFile) {
  const std::string file = kelo::prefs::preferencesFile("com.vantor.busy", {});
  ASSERT_TRUE(setText("com.vantor.busy", "big", std::string(200000, 'a')));
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    close(pipeEnds[0]);
    int failures = 0;
    for (int i = 0; i < 60; ++i)
      if (!setText("com.vantor.busy", "big", std::string(200000 + i * 997, 'a' + i % 26)))
        ++failures;
    close(pipeEnds[1]);  // tells the reader the writer is done
    _exit(failures == 0 ? 0 : 1);
  }
  close(pipeEnds[1]);
  int reads = 0;
  int unreadable = 0;
  for (;;) {
    kelo::cf::PlistFileStatus status;
    Ref list(kelo::cf::readPropertyListFile(file, &status));
    ++reads;
    if (status != kelo::cf::PlistFileStatus::Read) ++unreadable;
    pollfd done{pipeEnds[0], POLLIN, 0};
    if (poll(&done, 1, 0) == 1) break;
  }
  close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(reads, 1);
  EXPECT_EQ(unreadable, 0);
}

}  // namespace
