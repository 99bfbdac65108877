// Text from the fuzzer through the number and text parsers of the common library and of the
// engine plug-in SDK. Both read the same number grammar, so they stop at the same place; their
// steps round differently (the SDK scales in extended precision), so in range their values
// agree to 1e-12 (below the normal range, to 1e-300), and at the edges of the range each library keeps its own answer. The
// tokenizers split alike, and their pieces joined with the separator give the text back.
//
// Input: [separator length, 0 to 3] [separator] [text].
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginText.h"
#include "VNL/source/NumberText.h"
#include "VNL/source/PlatformWrappers.h"
#include "VNL/source/StringUtils.h"
#include "fuzz/FuzzCheck.h"

namespace {

namespace sdk = vantor::KELOPluginSDK;

template <typename Text>
Text joined(const std::vector<Text>& pieces, const Text& separator) {
  Text out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += separator;
    out += pieces[i];
  }
  return out;
}

void checkNumbers(const std::string& text) {
  const char* begin = text.c_str();
  const char* end = text.c_str() + text.size();

  const vantor::DecimalScan plain = vantor::scanDecimal(begin, vantor::DecimalSteps::Double);
  const vantor::DecimalScan extended = vantor::scanDecimal(begin, vantor::DecimalSteps::Extended);
  FUZZ_CHECK(plain.end >= begin && plain.end <= end);
  FUZZ_CHECK(extended.end == plain.end && extended.digits == plain.digits);
  if (!plain.digits) FUZZ_CHECK(plain.end == begin && plain.value == 0.0);

  const char* vnlEnd = nullptr;
  errno = 0;
  const double vnl = PStrtod(begin, &vnlEnd);
  const bool vnlRange = errno == ERANGE;
  const char* sdkEnd = nullptr;
  errno = 0;
  const double fromSdk = sdk::Strtod(begin, &sdkEnd);
  const bool sdkRange = errno == ERANGE;
  FUZZ_CHECK(vnlEnd == plain.end && sdkEnd == plain.end);
  FUZZ_CHECK(vnl == plain.value || (std::isnan(vnl) && std::isnan(plain.value)));
  FUZZ_CHECK(vnlRange == plain.rangeError);
  if (!vnlRange && !sdkRange && std::isfinite(vnl) && std::isfinite(fromSdk)) {
    // Subnormal steps keep few digits: there the difference is bounded absolutely.
    FUZZ_CHECK(std::fabs(fromSdk - vnl) <= 1e-12 * std::fabs(vnl) + 1e-300);
  }

  double value = 0.0;
  const bool whole = PStringToDouble(begin, value);
  if (whole) FUZZ_CHECK(*vnlEnd == '\0' && value == vnl);
  double sdkValue = 0.0;
  const bool sdkWhole = sdk::StringToDouble(begin, sdkValue);
  if (sdkWhole) FUZZ_CHECK(*sdkEnd == '\0' && sdkValue == fromSdk);
  double xml = 0.0;
  tinyxmlStringToDouble(begin, xml);
}

void checkTokens(const std::string& text, const std::string& separator) {
  std::vector<std::string> vnl;
  PSimpleStringTokenizer(text, separator, vnl);
  std::vector<std::string> fromSdk;
  sdk::SimpleStringTokenizer(text, separator, fromSdk);
  FUZZ_CHECK(vnl == fromSdk);
  FUZZ_CHECK(!vnl.empty());
  if (separator.empty()) {
    FUZZ_CHECK(vnl.size() == 1 && vnl[0] == text);
  } else {
    FUZZ_CHECK(joined(vnl, separator) == text);
  }
  const std::wstring wideText(text.begin(), text.end());
  const std::wstring wideSeparator(separator.begin(), separator.end());
  std::vector<std::wstring> wide;
  PSimpleStringTokenizer(wideText, wideSeparator, wide);
  FUZZ_CHECK(wide.size() == vnl.size());
  if (!separator.empty()) FUZZ_CHECK(joined(wide, wideSeparator) == wideText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t separatorLength = data[0] % 4;
  if (size - 1 < separatorLength) return 0;
  const std::string separator(reinterpret_cast<const char*>(data + 1), separatorLength);
  const std::string text(reinterpret_cast<const char*>(data + 1 + separatorLength),
                         size - 1 - separatorLength);
  // The number parsers read C strings: up to the first zero byte.
  checkNumbers(std::string(text.c_str()));
  checkTokens(text, separator);
  FUZZ_CHECK(VNTSConv(text, 12).size() <= 1023);
  return 0;
}
