// Telephony's variable-size records (LINEDEVCAPS, VARSTRING) are read into
// heap buffers that grow until the answer fits.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>

// A zero-filled heap buffer handed to telephony; empty (no bytes, size 0)
// once released.
struct TapiBuffer {
    std::unique_ptr<unsigned char[]> bytes;
    DWORD size;
};

// Replaces buffer with size zero-filled bytes. false (buffer empty) when the
// memory cannot be had.
bool TakeTapiBuffer(TapiBuffer& buffer, DWORD size);

// Releases the buffer and clears its reference; harmless when empty.
void ReleaseTapiBuffer(TapiBuffer& buffer);

// Calls telephony once on the record, whose dwTotalSize is already set;
// returns telephony's result.
using TapiQuery = std::function<LONG(void* record)>;

// Reads a record by the growing rule, starting with firstSize bytes: a
// refused or incomplete answer is asked again in a fresh buffer of the size
// telephony says it needs (100 bytes more when it names no larger size),
// up to RECORD_SIZE_LIMIT. 1 when the whole answer is in buffer; 0 when
// telephony failed or the limit was passed (buffer released).
int ReadGrowingRecord(TapiBuffer& buffer, DWORD firstSize, const TapiQuery& query);

// A service that keeps asking for more is not followed past this.
constexpr DWORD RECORD_SIZE_LIMIT = 64 * 1024;

// The DWORD at offset of the buffer, or 0 when the buffer does not reach it.
DWORD RecordDword(const TapiBuffer& buffer, size_t offset);

// The bytes [offset, offset + length) of the buffer, or nullptr when they
// do not all lie inside it.
const unsigned char* RecordBytes(const TapiBuffer& buffer, DWORD offset, DWORD length);
