#include "mail/RasHangUp.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <ras.h>

#include <cstddef>
#include <vector>

namespace {

// The oldest record form of RASCONNA, which every version of the service still
// accepts: size, handle and the three names. In a 32-bit program it is 412
// bytes; a 64-bit program's handle is wider and the service expects that
// program's own layout, so there the SDK's record is used as it is.
#if defined(_WIN64)
using ConnectionRecord = RASCONNA;
#else
struct ConnectionRecord
{
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[RAS_MaxEntryName + 1];
    CHAR szDeviceType[RAS_MaxDeviceType + 1];
    CHAR szDeviceName[RAS_MaxDeviceName + 1];
};
static_assert(sizeof(ConnectionRecord) == 412, "the 32-bit record form is 412 bytes");
#endif

constexpr std::size_t kTableRecords = 256;

} // namespace

void RasHangUp::hangUpAll()
{
    // The table lives on the heap (about 100 KiB); zeroed, with only the first
    // record's size filled in, which is how the service learns the record form.
    std::vector<ConnectionRecord> table(kTableRecords);
    table[0].dwSize = sizeof(ConnectionRecord);
    DWORD bytes = static_cast<DWORD>(sizeof(ConnectionRecord) * kTableRecords);
    DWORD count = 0;

    const DWORD result =
        RasEnumConnectionsA(reinterpret_cast<LPRASCONNA>(table.data()), &bytes, &count);
    if (result != 0)
        return;

    // The service never reports more than the table holds; the bound keeps a
    // wrong count from reading past it all the same.
    const DWORD found = count < kTableRecords ? count : static_cast<DWORD>(kTableRecords);
    for (DWORD i = 0; i < found; ++i)
        RasHangUpA(table[i].hrasconn); // not waited for, result not examined
}
