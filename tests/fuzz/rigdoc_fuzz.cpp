// The rig file codec on any bytes. A text that decodes is encoded; that text is JSON,
// decodes again (as a newer file when the first was) and encodes to the very same
// bytes; a deep copy encodes the same too. The decoder's repairs leave a document that the
// repair finds nothing more to mend in.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_kit.h"
#include "rig/json_read.h"
#include "rig/rigdoc.h"

namespace {

std::string encode(const RigDocument* doc)
{
    uint64_t needed = rig_encode(doc, nullptr, 0);
    std::vector<char> buf(needed + 1);
    FUZZ_CHECK(rig_encode(doc, buf.data(), buf.size()) == needed);
    FUZZ_CHECK(std::strlen(buf.data()) == needed);
    return std::string(buf.data(), needed);
}

struct Docs {
    RigDocument* a = rig_doc_new();
    RigDocument* b = rig_doc_new();
    ~Docs()
    {
        rig_doc_free(a);
        rig_doc_free(b);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Docs d;
    FUZZ_CHECK(d.a && d.b);
    std::vector<char> text(data, data + size);
    char msg[256];
    int r = rig_decode(size ? text.data() : nullptr, size, d.a, msg, sizeof msg);
    FUZZ_CHECK(r >= RIG_DECODE_CLEAN && r <= RIG_DECODE_NO_MEMORY && r != RIG_DECODE_NO_MEMORY);
    FUZZ_CHECK(std::strlen(msg) < sizeof msg);
    if (r > RIG_DECODE_NEWER)
        return 0;
    FUZZ_CHECK(!rig_doc_clamp(d.a));
    std::string once = encode(d.a);
    JsonValue v;
    FUZZ_CHECK(json_parse(once.data(), once.size(), &v, nullptr, 0) && v.kind == JSON_OBJECT);

    // Entries kept verbatim are reported again on every reading; nothing else may be.
    int again = rig_decode(once.data(), once.size(), d.b, msg, sizeof msg);
    if (again > RIG_DECODE_NEWER)
        fuzz_fail(msg, __FILE__, __LINE__);
    FUZZ_CHECK((again == RIG_DECODE_NEWER) == (r == RIG_DECODE_NEWER));
    FUZZ_CHECK(encode(d.b) == once);

    FUZZ_CHECK(rig_doc_assign(d.b, d.a));
    FUZZ_CHECK(encode(d.b) == once);
    return 0;
}
