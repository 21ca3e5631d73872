// The update manifest: whatever the bytes, the parser stays in its bound, and what it accepts is
// whole lines before a last signature line, with every value in its form.

#include "fuzz_util.h"
#include "report/UpdateManifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    auto m = ParseUpdateManifest(bytes);
    if (!m)
        return 0;
    FUZZ_CHECK(bytes.size() <= kMaxManifestBytes);
    FUZZ_CHECK(bytes.compare(0, m->signedText.size(), m->signedText) == 0);
    FUZZ_CHECK(!m->signedText.empty() && m->signedText.back() == '\n');
    std::string rest = bytes.substr(m->signedText.size());
    FUZZ_CHECK(rest.compare(0, 10, "signature=") == 0);
    FUZZ_CHECK(rest.size() == 10 + 128 || (rest.size() == 10 + 129 && rest.back() == '\n'));
    FUZZ_CHECK(m->size >= 1 && m->size <= kMaxSetupBytes);
    FUZZ_CHECK(m->url.compare(0, 7, "http://") == 0 || m->url.compare(0, 8, "https://") == 0);
    FUZZ_CHECK(m->signedText.find("\nsignature=") == std::string::npos &&
               m->signedText.compare(0, 10, "signature=") != 0);
    for (const std::string& channel : m->channels)
        FUZZ_CHECK(!channel.empty() && channel.find(',') == std::string::npos);
    UpdateContext context{"1.0.0.2", m->serial, m->expires - 1, "c"};
    DecideUpdate(*m, true, context);
    return 0;
}
