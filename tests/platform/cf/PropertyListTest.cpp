// XML property lists: every kind and the key order survive a round trip; damaged or hostile
// files are unreadable, never a crash.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/cf/CoreFoundation.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::cf::PlistFileStatus;

// Every kind the format has, nested, with keys out of alphabetical order.
const char kEveryKind[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>zeta</key>
	<string>caf&#233; &amp; &lt;b&gt; 😀</string>
	<key>path</key>
	<string>/opt/kelo/KeloEngine.bundle</string>
	<key>negative</key>
	<integer>-5</integer>
	<key>samplerate</key>
	<integer>48000</integer>
	<key>huge</key>
	<integer>18446744073709551615</integer>
	<key>smallest</key>
	<integer>-9223372036854775808</integer>
	<key>tenth</key>
	<real>0.1</real>
	<key>tiny</key>
	<real>4.9406564584124654e-324</real>
	<key>when</key>
	<date>2020-02-29T12:34:56Z</date>
	<key>far</key>
	<date>2999-12-31T23:59:59Z</date>
	<key>early</key>
	<date>1900-01-01T00:00:00Z</date>
	<key>bytes</key>
	<data>AAEC/w==</data>
	<key>yes</key>
	<true/>
	<key>no</key>
	<false/>
	<key>empty</key>
	<string></string>
	<key>list</key>
	<array>
		<dict>
			<key>inner</key>
			<array>
				<integer>1</integer>
				<real>2.5</real>
			</array>
		</dict>
		<array/>
		<dict/>
	</array>
	<key>alpha</key>
	<string>last</string>
</dict>
</plist>
)";

CFPropertyListRef parse(const std::string& xml) { return kelo::cf::propertyListFromXML(xml.data(), xml.size()); }

std::vector<std::string> keysOf(CFDictionaryRef d) {
  std::vector<const void*> keys(static_cast<std::size_t>(CFDictionaryGetCount(d)));
  CFDictionaryGetKeysAndValues(d, keys.data(), nullptr);
  std::vector<std::string> names;
  for (const void* k : keys) names.emplace_back(kelo::cf::utf8(static_cast<CFStringRef>(k)));
  return names;
}

TEST(PropertyLists, EveryKindAndTheKeyOrderSurviveARoundTrip) {
  CFPropertyListRef list = parse(kEveryKind);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(CFGetTypeID(list), CFDictionaryGetTypeID());
  auto d = static_cast<CFDictionaryRef>(list);
  const std::vector<std::string> order = {"zeta", "path", "negative", "samplerate", "huge",
                                          "smallest", "tenth", "tiny", "when", "far", "early",
                                          "bytes", "yes", "no", "empty", "list", "alpha"};
  EXPECT_EQ(keysOf(d), order);

  auto value = [&](const char* key) {
    CFStringRef k = kelo::cf::makeString(key);
    CFTypeRef v = CFDictionaryGetValue(d, k);
    CFRelease(k);
    return v;
  };
  EXPECT_EQ(kelo::cf::utf8(static_cast<CFStringRef>(value("zeta"))), "caf\xC3\xA9 & <b> \xF0\x9F\x98\x80");
  SInt32 rate = 0;
  EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value("samplerate")), kCFNumberSInt32Type, &rate));
  EXPECT_EQ(rate, 48000);
  SInt64 negative = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(value("negative")), kCFNumberSInt64Type, &negative);
  EXPECT_EQ(negative, -5);
  EXPECT_TRUE(kelo::cf::numberIsLargeUnsigned(static_cast<CFNumberRef>(value("huge"))));
  double tenth = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(value("tenth")), kCFNumberFloat64Type, &tenth);
  EXPECT_EQ(tenth, 0.1);
  EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value("when"))), 604672496.0);
  EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(value("bytes"))), 4);
  EXPECT_EQ(value("yes"), kCFBooleanTrue);
  EXPECT_EQ(value("no"), kCFBooleanFalse);

  // Written and read again: equal values, and the same text from then on.
  std::string first;
  ASSERT_TRUE(kelo::cf::propertyListToXML(list, first));
  CFPropertyListRef again = parse(first);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(CFEqual(list, again));
  EXPECT_EQ(keysOf(static_cast<CFDictionaryRef>(again)), order);
  std::string second;
  ASSERT_TRUE(kelo::cf::propertyListToXML(again, second));
  EXPECT_EQ(first, second);
  for (const char* kept : {"<integer>18446744073709551615</integer>",
                           "<integer>-9223372036854775808</integer>",
                           "<date>2999-12-31T23:59:59Z</date>", "<date>1900-01-01T00:00:00Z</date>",
                           "<!DOCTYPE plist"})
    EXPECT_NE(first.find(kept), std::string::npos) << kept;
  CFRelease(again);
  CFRelease(list);
}

TEST(PropertyLists, EveryCharacterOfATextSurvivesWritingAndReading) {
  std::string text;
  for (int c = 1; c < 128; ++c) text += static_cast<char>(c);
  text += "]]> &amp; &#65; \xC3\xA9 \xEF\xBF\xBD \xF0\x9F\x98\x80 ";
  for (const std::string& s : {text, std::string("\r\n"), std::string(" padded "), std::string()}) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFStringRef value = kelo::cf::makeString(s);
    CFDictionarySetValue(d, value, value);  // as key and as value
    std::string xml;
    ASSERT_TRUE(kelo::cf::propertyListToXML(d, xml));
    CFPropertyListRef back = parse(xml);
    EXPECT_TRUE(back && CFEqual(back, d)) << xml;
    if (back) CFRelease(back);
    CFRelease(value);
    CFRelease(d);
  }
}

TEST(PropertyLists, DataAndStreamInterfacesReadTheSameFile) {
  kelo::test::TempDir dir;
  const std::string file = dir.file("com.vantor.kelo.plist");
  ASSERT_TRUE(kelo::test::writeFile(file, kEveryKind));

  PlistFileStatus status = PlistFileStatus::Missing;
  CFPropertyListRef direct = kelo::cf::readPropertyListFile(file, &status);
  EXPECT_EQ(status, PlistFileStatus::Read);

  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(file.data()), static_cast<CFIndex>(file.size()), false);
  CFReadStreamRef stream = CFReadStreamCreateWithFile(nullptr, url);
  ASSERT_TRUE(CFReadStreamOpen(stream));
  CFPropertyListFormat format = 0;
  CFPropertyListRef streamed = CFPropertyListCreateWithStream(nullptr, stream, 0, kCFPropertyListMutableContainersAndLeaves, &format, nullptr);
  CFReadStreamClose(stream);
  EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
  EXPECT_TRUE(CFEqual(direct, streamed));

  CFDataRef bytes = CFPropertyListCreateData(nullptr, direct, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
  CFPropertyListRef fromData = CFPropertyListCreateWithData(nullptr, bytes, 0, nullptr, nullptr);
  EXPECT_TRUE(CFEqual(direct, fromData));
  EXPECT_EQ(CFPropertyListCreateData(nullptr, direct, kCFPropertyListBinaryFormat_v1_0, 0, nullptr), nullptr);

  for (CFTypeRef o : {CFTypeRef(direct), CFTypeRef(streamed), CFTypeRef(bytes), CFTypeRef(fromData),
                      CFTypeRef(stream), CFTypeRef(url)})
    CFRelease(o);
}

// Seconds since 2001-01-01 of a proleptic Gregorian date (days from the civil calendar, Howard
// Hinnant's algorithm), independent of the code under test and of time_t.
double secondsSince2001(long long y, int m, int d, int hh, int mm, int ss) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days1970 = era * 146097 + doe - 719468;
  return static_cast<double>((days1970 - 11323) * 86400 + hh * 3600 + mm * 60 + ss);
}

// Releases the reference it holds.
struct CFReleaser {
  void operator()(CFTypeRef object) const { CFRelease(object); }
};
using Held = std::unique_ptr<const void, CFReleaser>;

// A one-date document.
std::string dateDocument(const std::string& text) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><date>" + text +
         "</date></plist>\n";
}

TEST(PropertyLists, DatesSurviveWritingAndReadingOverTheirWholeRange) {
  // Years 0000 to 9999, as the grammar check takes them: each reads as its instant, is written
  // back as the same text (four-digit year) and reads again as the same instant.
  const struct {
    const char* text;
    long long year;
    int month, day, hour, minute, second;
  } dates[] = {
      {"0000-01-01T00:00:00Z", 0, 1, 1, 0, 0, 0},       {"0001-01-01T00:00:00Z", 1, 1, 1, 0, 0, 0},
      {"0009-07-04T12:00:00Z", 9, 7, 4, 12, 0, 0},      {"0099-12-31T23:59:59Z", 99, 12, 31, 23, 59, 59},
      {"0220-01-01T00:00:00Z", 220, 1, 1, 0, 0, 0},     {"0999-12-31T23:59:59Z", 999, 12, 31, 23, 59, 59},
      {"1000-01-01T00:00:00Z", 1000, 1, 1, 0, 0, 0},    {"1582-10-15T00:00:00Z", 1582, 10, 15, 0, 0, 0},
      {"1900-01-01T00:00:00Z", 1900, 1, 1, 0, 0, 0},    {"1901-12-13T20:45:51Z", 1901, 12, 13, 20, 45, 51},
      {"1969-12-31T23:59:59Z", 1969, 12, 31, 23, 59, 59}, {"1970-01-01T00:00:00Z", 1970, 1, 1, 0, 0, 0},
      {"2001-01-01T00:00:00Z", 2001, 1, 1, 0, 0, 0},    {"2038-01-19T03:14:08Z", 2038, 1, 19, 3, 14, 8},
      {"2106-02-07T06:28:16Z", 2106, 2, 7, 6, 28, 16},  {"2999-12-31T23:59:59Z", 2999, 12, 31, 23, 59, 59},
      {"9999-12-31T23:59:59Z", 9999, 12, 31, 23, 59, 59},
  };
  for (const auto& d : dates) {
    const double at = secondsSince2001(d.year, d.month, d.day, d.hour, d.minute, d.second);
    const Held read(parse(dateDocument(d.text)));
    ASSERT_NE(read.get(), nullptr) << d.text;
    ASSERT_EQ(CFGetTypeID(read.get()), CFDateGetTypeID()) << d.text;
    EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(read.get())), at) << d.text;

    const Held made(CFDateCreate(nullptr, at));
    for (CFPropertyListRef written : {read.get(), made.get()}) {
      std::string xml;
      ASSERT_TRUE(kelo::cf::propertyListToXML(written, xml)) << d.text;
      EXPECT_NE(xml.find(std::string("<date>") + d.text + "</date>"), std::string::npos)
          << d.text << " written as " << xml;
      const Held again(parse(xml));
      ASSERT_NE(again.get(), nullptr) << d.text << " written as " << xml;
      EXPECT_TRUE(CFEqual(again.get(), read.get())) << d.text;
    }
  }

  // A leap second is the next second's instant (the text has no other way to say it).
  const Held leap(parse(dateDocument("2016-12-31T23:59:60Z")));
  ASSERT_NE(leap.get(), nullptr);
  EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(leap.get())),
            secondsSince2001(2017, 1, 1, 0, 0, 0));

  // Beyond that range neither side takes a date: the reader refuses the text and the writer
  // the value, so nothing written is ever refused when read, and nothing read refused when
  // written (the last leap second would be in the year 10000).
  for (const char* text : {"-0001-12-31T23:59:59Z", "+2020-01-01T00:00:00Z", "10000-01-01T00:00:00Z",
                           "220-01-01T00:00:00Z", "99999-01-01T00:00:00Z", "9999-12-31T23:59:60Z"}) {
    const Held read(parse(dateDocument(text)));
    EXPECT_EQ(read.get(), nullptr) << text;
  }
  const double first = secondsSince2001(0, 1, 1, 0, 0, 0);
  const double last = secondsSince2001(9999, 12, 31, 23, 59, 59);
  for (double at : {first - 1, last + 1, -1e15, 1e15, -1e300, 1e300,
                    std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    const Held date(CFDateCreate(nullptr, at));
    std::string xml = "unchanged";
    EXPECT_FALSE(kelo::cf::propertyListToXML(date.get(), xml)) << at << " written as " << xml;
    EXPECT_EQ(xml, "unchanged");
  }
}

TEST(PropertyLists, WhatIsNotAPropertyListIsNotWritten) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
  CFDictionarySetValue(d, kCFBooleanTrue, CFSTR("a key must be a string"));
  std::string out = "unchanged";
  EXPECT_FALSE(kelo::cf::propertyListToXML(d, out));
  EXPECT_EQ(out, "unchanged");
  CFURLRef url = CFURLCreateWithString(nullptr, CFSTR("file:///tmp/"), nullptr);
  EXPECT_FALSE(kelo::cf::propertyListToXML(url, out));
  EXPECT_FALSE(CFPropertyListIsValid(url, kCFPropertyListXMLFormat_v1_0));
  CFRelease(url);
  CFRelease(d);
}

TEST(PropertyLists, EveryTruncationIsUnreadable) {
  const std::string whole = kEveryKind;
  const std::size_t end = whole.rfind("</plist>") + 8;  // what follows is a line break
  for (std::size_t length = 0; length < end; ++length) {
    CFPropertyListRef list = parse(whole.substr(0, length));
    EXPECT_EQ(list, nullptr) << "cut after " << length << " bytes";
    if (list) CFRelease(list);
  }
  CFPropertyListRef list = parse(whole.substr(0, end));
  EXPECT_NE(list, nullptr);
  CFRelease(list);
}

TEST(PropertyLists, HostileDocumentsAreUnreadable) {
  kelo::test::TempDir dir;
  const std::string secret = dir.file("secret");
  ASSERT_TRUE(kelo::test::writeFile(secret, "TOPSECRET"));
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<array>";
  for (int i = 0; i < 300; ++i) deep += "</array>";
  std::string veryDeep;
  for (int i = 0; i < 100000; ++i) veryDeep += "<dict><key>a</key>";
  const std::vector<std::string> cases = {
      "",
      "not xml at all",
      "<",
      "<plist><string>abc",
      "<plist><dict><string>no key</string></dict></plist>",
      "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY x SYSTEM \"file://" + secret +
          "\">]><plist><string>&x;</string></plist>",
      "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
      "<plist><string>&b;&b;&b;</string></plist>",
      "<plist><string>&bogus;</string></plist>",
      "<plist><string>&#xFFFFFFFFF;</string></plist>",
      std::string("<plist><string>a\0b</string></plist>", 35),
      "<plist><string>caf\xE9</string></plist>",  // Latin-1 bytes in a UTF-8 document
      "<plist>" + deep + "</plist>",
      "<plist>" + veryDeep + "</plist>",
      "bplist00\xD1\x01\x02",
      // Damage libplist itself would forgive.
      "<plist><integer>48k</integer></plist>",
      "<plist><integer>99999999999999999999</integer></plist>",
      "<plist><real>1.5.2</real></plist>",
      "<plist><date>yesterday</date></plist>",
      "<plist><date>2020-13-01T00:00:00Z</date></plist>",
      "<plist><data>!!!!</data></plist>",
      "<plist><data>AAE</data></plist>",
      "<plist><dict><key>lost</key></dict></plist>",
      "<plist><string>a</string><string>b</string></plist>",
      "<plist><dict>stray text<key>a</key><true/></dict></plist>",
      "<plist><color>red</color></plist>",
      "<plist><true>yes</true></plist>",
      "<plist><string>a<b/></string></plist>",
      "<plist><string>&#0;</string></plist>",
      "<plist><string>&#xD800;</string></plist>",
      "<plist><!-- open comment <string/></plist>",
      "<plist><dict><key/><true/></dict></plist>",
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CFPropertyListRef list = parse(cases[i]);
    EXPECT_EQ(list, nullptr) << "case " << i;
    if (list) CFRelease(list);
  }
}

TEST(PropertyLists, RandomDamageNeverCrashesAndWhatIsReadWritesBack) {
  std::uint32_t state = 12345;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  const std::string whole = kEveryKind;
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = whole;
    const int edits = 1 + next() % 4;
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = next() % damaged.size();
      switch (next() % 3) {
        case 0: damaged[at] = static_cast<char>(next()); break;
        case 1: damaged.erase(at, 1 + next() % 8); break;
        default: damaged.insert(at, 1, "<>&;/\"\xC3"[next() % 7]); break;
      }
    }
    CFPropertyListRef list = parse(damaged);
    if (!list) continue;
    std::string xml;
    EXPECT_TRUE(kelo::cf::propertyListToXML(list, xml)) << round;
    CFPropertyListRef again = parse(xml);
    EXPECT_TRUE(CFEqual(list, again)) << round;
    if (again) CFRelease(again);
    CFRelease(list);
  }
}

TEST(PropertyLists, ForgivingFormsOfTheGrammarAreRead) {
  const std::vector<std::string> cases = {
      "<plist version=\"1.0\"><string/></plist>",
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<plist>\n<dict>\n"
      "<key>a</key><!-- note --><integer> +7 </integer>\n<key></key><real>-1E3</real>\n"
      "<key>c</key><string><![CDATA[<raw> & text]]></string>\n"
      "<key>d</key><data>\n\tAAEC\n\t/w==\n</data>\n<key>e</key><real>+infinity</real>\n"
      "<key>f</key><false></false><key>g</key><dict/><key>h</key><array></array>\n"
      "</dict>\n</plist>\n\n",
  };
  for (const std::string& xml : cases) {
    CFPropertyListRef list = parse(xml);
    EXPECT_NE(list, nullptr) << xml;
    if (list) CFRelease(list);
  }
}

TEST(PropertyLists, FilesReportMissingOrUnreadable) {
  kelo::test::TempDir dir;
  PlistFileStatus status = PlistFileStatus::Read;
  EXPECT_EQ(kelo::cf::readPropertyListFile(dir.file("absent.plist"), &status), nullptr);
  EXPECT_EQ(status, PlistFileStatus::Missing);
  EXPECT_EQ(kelo::cf::readPropertyListFile(dir.path(), &status), nullptr);  // a folder
  EXPECT_EQ(status, PlistFileStatus::NotRegularFile);
  ASSERT_TRUE(kelo::test::writeFile(dir.file("cut.plist"), std::string(kEveryKind).substr(0, 40)));
  EXPECT_EQ(kelo::cf::readPropertyListFile(dir.file("cut.plist"), &status), nullptr);
  EXPECT_EQ(status, PlistFileStatus::Unreadable);
  // Too large to be a preference file: refused before reading (the file is sparse).
  const std::string big = dir.file("big.plist");
  ASSERT_TRUE(kelo::test::writeFile(big, "<plist>"));
  ASSERT_EQ(truncate(big.c_str(), 65 << 20), 0);
  EXPECT_EQ(kelo::cf::readPropertyListFile(big, &status), nullptr);
  EXPECT_EQ(status, PlistFileStatus::Unreadable);
}

TEST(PropertyLists, AFifoIsRefusedWithoutWaitingForAWriter) {
  // Nobody ever writes into the FIFO: an open that blocks would never return.
  kelo::test::TempDir dir;
  const std::string fifo = dir.file("fifo.plist");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(kelo::test::textFromChild([&] {
              PlistFileStatus status = PlistFileStatus::Read;
              const Held list(kelo::cf::readPropertyListFile(fifo, &status));
              return std::string(list ? "a list" : "no list") +
                     (status == PlistFileStatus::NotRegularFile ? ", not a regular file" : ", other");
            }),
            "no list, not a regular file");
  EXPECT_EQ(kelo::test::textFromChild([&] {
              CFURLRef url = CFURLCreateFromFileSystemRepresentation(
                  nullptr, reinterpret_cast<const UInt8*>(fifo.c_str()),
                  static_cast<CFIndex>(fifo.size()), false);
              CFReadStreamRef stream = CFReadStreamCreateWithFile(nullptr, url);
              const bool opened = CFReadStreamOpen(stream);
              CFRelease(stream);
              CFRelease(url);
              return std::string(opened ? "opened" : "refused");
            }),
            "refused");
}

TEST(PropertyLists, DeepCopyMakesNewContainers) {
  CFPropertyListRef list = parse(kEveryKind);
  CFPropertyListRef copy = CFPropertyListCreateDeepCopy(nullptr, list, kCFPropertyListMutableContainersAndLeaves);
  EXPECT_TRUE(CFEqual(list, copy));
  CFDictionaryRemoveValue(const_cast<CFMutableDictionaryRef>(static_cast<CFDictionaryRef>(copy)), CFSTR("zeta"));
  EXPECT_FALSE(CFEqual(list, copy));
  CFRelease(copy);
  CFRelease(list);
}

}  // namespace
