#pragma once

// Without winsock2.h and iphlpapi.h: winsock2.h must come before windows.h, which an includer may
// already have included. The adapter records stay incomplete types here.
#include <windows.h>
#include <nb30.h>
#include <snmp.h>

#include <string>

struct _IP_ADAPTER_INFO;
struct _IP_ADAPTER_ADDRESSES_LH;

// Servers key machines on the identifier these sizes produce: a list that does not fit is given
// up, never fetched again with a larger buffer.
// They were chosen for the 32-bit records (640 and 376 bytes); a 64-bit build adds what its records
// grow by (704 and 448), so that the same lists fit, or do not, on both.
constexpr ULONG kAdaptersInfoBufferSize = sizeof(void*) == 4 ? 648 : 648 + (704 - 640);
constexpr ULONG kAdaptersAddressesBufferSize = sizeof(void*) == 4 ? 368 : 368 + (448 - 376);
constexpr WORD kNetbiosEnumBufferSize = 256;
constexpr WORD kNetbiosStatusBufferSize = 600;

// Entry points of the system's SNMP MIB library; only init and query are ever called.
struct SnmpExtensionApi {
    PFNSNMPEXTENSIONINIT init;
    PFNSNMPEXTENSIONINITEX initEx;
    PFNSNMPEXTENSIONQUERY query;
    PFNSNMPEXTENSIONTRAP trap;
};

using GetAdaptersInfoFn = ULONG(WINAPI*)(_IP_ADAPTER_INFO* adapters, ULONG* size);
using GetAdaptersAddressesFn = ULONG(WINAPI*)(ULONG family, ULONG flags, void* reserved,
                                              _IP_ADAPTER_ADDRESSES_LH* adapters, ULONG* size);

// The platform calls behind the four methods, so that the selection rules can be exercised on
// fabricated adapter lists.
struct MacPlatform {
    GetAdaptersInfoFn getAdaptersInfo;
    UCHAR(APIENTRY* netbios)(PNCB ncb);
    // Starts sockets and binds the MIB library; false when any of that fails.
    bool (*loadSnmpExtension)(SnmpExtensionApi& mib);
    GetAdaptersAddressesFn getAdaptersAddresses;
};

const MacPlatform& SystemMacPlatform();

// The machine's adapter address as "XX-XX-XX-XX-XX-XX" in upper case. Empty when no method found
// one; "00-00-00-00-00-00" when NetBIOS reported only zero addresses and nothing later answered.
std::wstring GetMacAddress(const MacPlatform& platform = SystemMacPlatform());

// Each method overwrites mac only when it finds an address.
void GetMacByAdaptersInfo(std::wstring& mac, const MacPlatform& platform = SystemMacPlatform());
void GetMacByNetbios(std::wstring& mac, UCHAR (&adapterStatus)[kNetbiosStatusBufferSize],
                     const MacPlatform& platform = SystemMacPlatform());
void GetMacBySnmp(std::wstring& mac, const MacPlatform& platform = SystemMacPlatform());
void GetMacByAdaptersAddresses(std::wstring& mac,
                               const MacPlatform& platform = SystemMacPlatform());
