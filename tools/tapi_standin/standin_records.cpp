#include "standin_records.h"

#include <cstddef>
#include <cstring>

namespace {

enum class Fit { REFUSED, FIXED_ONLY, WHOLE };

// How an answer of `needed` bytes (its fixed part `fixedSize`) goes into a
// record of `total` bytes, and the header fields that say so.
Fit FitAnswer(void* record, DWORD total, DWORD fixedSize, DWORD needed, ShortAnswer mode)
{
    Fit fit = Fit::WHOLE;
    if (total < needed) {
        fit = (mode == ShortAnswer::PARTIAL && total >= fixedSize) ? Fit::FIXED_ONLY : Fit::REFUSED;
    }
    // dwTotalSize, dwNeededSize, dwUsedSize lead every such record.
    DWORD header[3] = {total, needed, 0};
    if (fit == Fit::REFUSED && mode == ShortAnswer::REFUSED_NO_SIZE) header[1] = 0;
    header[2] = fit == Fit::WHOLE ? needed : fit == Fit::FIXED_ONLY ? fixedSize : 0;
    const DWORD headerBytes = total < sizeof header ? total / sizeof(DWORD) * sizeof(DWORD) : sizeof header;
    std::memcpy(record, header, headerBytes);
    return fit;
}

}  // namespace

DWORD DevCapsFixedSize(DWORD apiVersion)
{
    if (apiVersion >= 0x30000) return sizeof(LINEDEVCAPS);
    if (apiVersion >= 0x20002) return offsetof(LINEDEVCAPS, dwAddressTypes);
    if (apiVersion >= 0x20000) return offsetof(LINEDEVCAPS, PermanentLineGuid);
    return offsetof(LINEDEVCAPS, dwSettableDevStatus);
}

LONG AnswerDevCaps(LINEDEVCAPS* caps, DWORD apiVersion, DWORD permanentId, const LineConfig& line, bool* complete)
{
    const DWORD total = caps->dwTotalSize;
    const DWORD fixedSize = DevCapsFixedSize(apiVersion);
    const DWORD nameSize = line.name.empty() ? 0 : static_cast<DWORD>(line.name.size() + 1);
    const DWORD needed = fixedSize + nameSize;
    const Fit fit = FitAnswer(caps, total, fixedSize, needed, line.shortAnswer);
    *complete = fit == Fit::WHOLE;
    if (fit == Fit::REFUSED) return LINEERR_STRUCTURETOOSMALL;

    LINEDEVCAPS answer{};
    std::memcpy(&answer, caps, 3 * sizeof(DWORD));
    answer.dwPermanentLineID = permanentId;
    answer.dwStringFormat = STRINGFORMAT_ASCII;
    answer.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    answer.dwNumAddresses = 1;
    answer.dwBearerModes = LINEBEARERMODE_VOICE;
    answer.dwMaxRate = 57600;
    answer.dwMediaModes = line.mediaModes;
    answer.dwMaxNumActiveCalls = 1;
    answer.dwAnswerMode = LINEANSWERMODE_NONE;
    answer.dwLineFeatures = LINEFEATURE_MAKECALL;
    if (fit == Fit::WHOLE && nameSize != 0) {
        answer.dwLineNameSize = nameSize;
        answer.dwLineNameOffset = fixedSize;
    }
    // Only the fixed part of the negotiated version: what follows it in the
    // structure's declaration is the program's variable area.
    std::memcpy(caps, &answer, fixedSize);
    if (fit == Fit::WHOLE && nameSize != 0)
        std::memcpy(reinterpret_cast<char*>(caps) + fixedSize, line.name.c_str(), nameSize);
    return 0;
}

LONG AnswerCommId(VARSTRING* id, const std::string& deviceName, HANDLE (*openHandle)(void* context), void* context,
                  HANDLE* handed, ShortAnswer mode)
{
    *handed = nullptr;
    const DWORD total = id->dwTotalSize;
    const DWORD stringSize = static_cast<DWORD>(sizeof(HANDLE) + deviceName.size() + 1);
    const DWORD needed = sizeof(VARSTRING) + stringSize;
    const Fit fit = FitAnswer(id, total, sizeof(VARSTRING), needed, mode);
    if (fit == Fit::REFUSED) return LINEERR_STRUCTURETOOSMALL;

    id->dwStringFormat = STRINGFORMAT_BINARY;
    id->dwStringSize = 0;
    id->dwStringOffset = 0;
    if (fit == Fit::FIXED_ONLY) return 0;

    const HANDLE handle = openHandle(context);
    if (handle == INVALID_HANDLE_VALUE) {
        id->dwNeededSize = id->dwUsedSize = sizeof(VARSTRING);
        return LINEERR_OPERATIONFAILED;
    }
    *handed = handle;
    id->dwStringSize = stringSize;
    id->dwStringOffset = sizeof(VARSTRING);
    char* string = reinterpret_cast<char*>(id) + sizeof(VARSTRING);
    std::memcpy(string, &handle, sizeof handle);
    std::memcpy(string + sizeof handle, deviceName.c_str(), deviceName.size() + 1);
    return 0;
}
