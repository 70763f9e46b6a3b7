// The growing-buffer read of telephony's variable-size records.
#include "link/telephony_buffer.h"

#include <tapi.h>

#include <cstring>
#include <new>

namespace {

constexpr DWORD GROWTH_WITHOUT_SIZE = 100;
constexpr LONG TOO_SMALL = static_cast<LONG>(LINEERR_STRUCTURETOOSMALL);

}  // namespace

bool TakeTapiBuffer(TapiBuffer& buffer, DWORD size)
{
    buffer.bytes.reset(new (std::nothrow) unsigned char[size]());
    buffer.size = buffer.bytes ? size : 0;
    return buffer.bytes != nullptr;
}

void ReleaseTapiBuffer(TapiBuffer& buffer)
{
    buffer.bytes.reset();
    buffer.size = 0;
}

int ReadGrowingRecord(TapiBuffer& buffer, DWORD firstSize, const TapiQuery& query)
{
    // Every variable-size record begins with dwTotalSize and dwNeededSize.
    constexpr size_t NEEDED_AT = offsetof(VARSTRING, dwNeededSize);
    static_assert(offsetof(LINEDEVCAPS, dwNeededSize) == NEEDED_AT);

    for (DWORD size = firstSize;;) {
        if (size > RECORD_SIZE_LIMIT || !TakeTapiBuffer(buffer, size)) break;
        std::memcpy(buffer.bytes.get(), &size, sizeof size);
        const LONG result = query(buffer.bytes.get());
        const DWORD needed = RecordDword(buffer, NEEDED_AT);
        if (result == 0 && needed <= size) return 1;
        if (result != 0 && result != TOO_SMALL) break;
        // A needed size no larger than this buffer would ask the same again.
        size = needed > size ? needed : size + GROWTH_WITHOUT_SIZE;
    }
    ReleaseTapiBuffer(buffer);
    return 0;
}

DWORD RecordDword(const TapiBuffer& buffer, size_t offset)
{
    DWORD value = 0;
    if (buffer.bytes && offset <= buffer.size && buffer.size - offset >= sizeof value)
        std::memcpy(&value, buffer.bytes.get() + offset, sizeof value);
    return value;
}

const unsigned char* RecordBytes(const TapiBuffer& buffer, DWORD offset, DWORD length)
{
    if (!buffer.bytes || offset > buffer.size || buffer.size - offset < length) return nullptr;
    return buffer.bytes.get() + offset;
}
