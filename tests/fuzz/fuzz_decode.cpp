// Fuzz target: MyDmm::decode on single reply frames with any length byte, codes, display text and
// status bytes. The first input byte chooses the function table; the rest is the frame.

#include "meter/mydmm.h"
#include "tests/fuzz/fuzzsupport.h"

#include <memory>

using namespace reply;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // Built once: building the tables for every input would cost more than the decoding.
    static MyDmm *const drivers[] = {new MyDmm(nullptr), new MyDmm(nullptr)};
    drivers[1]->setModel(QStringLiteral("VX310E"));
    const MyDmm &dmm = *drivers[data[0] & 1];
    const QByteArray frame(reinterpret_cast<const char *>(data) + 1, int(size) - 1);

    const std::unique_ptr<DmmData> reading(dmm.decode(frame));
    // The bytes its length byte promises are there, up to the third status byte at least.
    const bool whole = frame.size() > kLength && byteAt(frame, kLength) >= kReadingLength &&
                       frame.size() >= byteAt(frame, kLength) + 3;
    const bool known =
        whole && findEntry(dmm.activeTable(), byteAt(frame, kFunction), byteAt(frame, kRange));
    check((reading != nullptr) == known, "a reading exactly for a whole frame of known codes");
    if (reading)
        checkReading(*reading, frame, dmm.activeTable());
    return 0;
}
