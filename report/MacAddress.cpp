// winsock2.h before windows.h; iphlpapi.h declares GetAdaptersAddresses only after winsock2.h.
#include <winsock2.h>
#include <iphlpapi.h>

#include "report/MacAddress.h"

#include "framework/afxwin.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace {

const wchar_t kZeroMac[] = L"00-00-00-00-00-00";

// The adapter-addresses buffer is smaller than the record type here: the walk must read nothing
// beyond it.
static_assert(offsetof(IP_ADAPTER_ADDRESSES, PhysicalAddress) + MAX_ADAPTER_ADDRESS_LENGTH <=
                      kAdaptersAddressesBufferSize &&
                  offsetof(IP_ADAPTER_ADDRESSES, PhysicalAddressLength) + sizeof(DWORD) <=
                      kAdaptersAddressesBufferSize,
              "the fields read from an adapter-addresses record lie inside the buffer");

std::wstring FormatMac(const BYTE* a) {
    wchar_t text[18] = {};
    std::swprintf(text, 18, L"%02X-%02X-%02X-%02X-%02X-%02X", unsigned{a[0]}, unsigned{a[1]},
                  unsigned{a[2]}, unsigned{a[3]}, unsigned{a[4]}, unsigned{a[5]});
    return text;
}

bool IsUsable(const std::wstring& mac) {
    return !mac.empty() && mac != kZeroMac;
}

template <typename Proc> Proc ProcAddress(HMODULE module, const char* name) {
    // Through void(*)() so that the compiler accepts the cast between function types.
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Sockets and the MIB library stay loaded until the process ends: the library may keep state from
// its initialisation, and nothing else depends on releasing them.
bool LoadSystemSnmpExtension(SnmpExtensionApi& mib) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 0), &wsa) != 0) {
        return false;
    }
    // By full path, so that a planted copy beside the executable is never loaded.
    const HMODULE module = AfxLoadSystemLibrary(L"inetmib1.dll");
    if (reinterpret_cast<UINT_PTR>(module) < 32) {
        return false;
    }
    mib.init = ProcAddress<PFNSNMPEXTENSIONINIT>(module, "SnmpExtensionInit");
    mib.initEx = ProcAddress<PFNSNMPEXTENSIONINITEX>(module, "SnmpExtensionInitEx");
    mib.query = ProcAddress<PFNSNMPEXTENSIONQUERY>(module, "SnmpExtensionQuery");
    mib.trap = ProcAddress<PFNSNMPEXTENSIONTRAP>(module, "SnmpExtensionTrap");
    return true;
}

// The MIB library may answer TRUE with an error status; the bindings then carry no new row.
bool QueryNext(PFNSNMPEXTENSIONQUERY query, SnmpVarBindList& list) {
    AsnInteger32 status = SNMP_ERRORSTATUS_NOERROR;
    AsnInteger32 index = 0;
    return query(SNMP_PDU_GETNEXT, &list, &status, &index) && status == SNMP_ERRORSTATUS_NOERROR;
}

bool IsUsableSnmpAddress(const AsnAny& value) {
    static const BYTE kDest[] = {0x44, 0x45, 0x53, 0x54, 0x00};
    const AsnOctetString& address = value.asnValue.string;
    // Type and length are checked only so that the union and the bytes are read safely.
    if (value.asnType != ASN_OCTETSTRING || address.stream == nullptr || address.length < 6) {
        return false;
    }
    if (std::memcmp(address.stream, kDest, sizeof kDest) == 0) {
        return false;
    }
    return std::any_of(address.stream, address.stream + 6, [](BYTE b) { return b != 0; });
}

// The bindings are the caller's to free, whatever state the walk leaves them in.
void WalkInterfaceTable(PFNSNMPEXTENSIONQUERY query, SnmpVarBind (&binds)[2], std::wstring& mac) {
    UINT countIds[] = {1, 3, 6, 1, 2, 1, 2, 1};
    UINT typeIds[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 3};
    UINT addressIds[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 6};
    AsnObjectIdentifier countOid = {8, countIds};
    AsnObjectIdentifier typeOid = {10, typeIds};
    AsnObjectIdentifier addressOid = {10, addressIds};

    SnmpVarBindList list = {binds, 1};
    if (SnmpUtilOidCpy(&binds[0].name, &countOid) != SNMPAPI_NOERROR || !QueryNext(query, list) ||
        binds[0].value.asnType != ASN_INTEGER32) {
        return;
    }
    const AsnInteger32 count = binds[0].value.asnValue.number;
    if (count <= 0) {
        return;
    }

    SnmpUtilVarBindFree(&binds[0]);
    binds[0] = SnmpVarBind{};
    if (SnmpUtilOidCpy(&binds[0].name, &typeOid) != SNMPAPI_NOERROR ||
        SnmpUtilOidCpy(&binds[1].name, &addressOid) != SNMPAPI_NOERROR) {
        return;
    }
    list.len = 2;
    for (AsnInteger32 row = 0; row < count; ++row) {
        if (!QueryNext(query, list) ||
            SnmpUtilOidNCmp(&binds[0].name, &typeOid, typeOid.idLength) != 0 ||
            binds[0].value.asnType != ASN_INTEGER32 ||
            binds[0].value.asnValue.number != MIB_IF_TYPE_ETHERNET ||
            SnmpUtilOidNCmp(&binds[1].name, &addressOid, addressOid.idLength) != 0 ||
            !IsUsableSnmpAddress(binds[1].value)) {
            continue;
        }
        mac = FormatMac(binds[1].value.asnValue.string.stream);
        return;
    }
}

} // namespace

const MacPlatform& SystemMacPlatform() {
    static const MacPlatform platform = {&::GetAdaptersInfo, &::Netbios, &LoadSystemSnmpExtension,
                                         &::GetAdaptersAddresses};
    return platform;
}

std::wstring GetMacAddress(const MacPlatform& platform) {
    std::wstring mac;
    GetMacByAdaptersInfo(mac, platform);
    if (!IsUsable(mac)) {
        UCHAR adapterStatus[kNetbiosStatusBufferSize] = {};
        GetMacByNetbios(mac, adapterStatus, platform);
    }
    if (!IsUsable(mac)) {
        GetMacBySnmp(mac, platform);
    }
    if (!IsUsable(mac)) {
        GetMacByAdaptersAddresses(mac, platform);
    }
    if (!mac.empty()) {
        CharUpperBuffW(&mac[0], static_cast<DWORD>(mac.size()));
    }
    return mac;
}

void GetMacByAdaptersInfo(std::wstring& mac, const MacPlatform& platform) {
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kAdaptersInfoBufferSize]());
    if (!buffer) {
        return;
    }
    auto* const first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get());
    ULONG size = kAdaptersInfoBufferSize;
    if (platform.getAdaptersInfo(first, &size) == ERROR_BUFFER_OVERFLOW) {
        return;
    }
    size = kAdaptersInfoBufferSize;
    if (platform.getAdaptersInfo(first, &size) != NO_ERROR) {
        return;
    }
    for (const IP_ADAPTER_INFO* adapter = first; adapter; adapter = adapter->Next) {
        if (adapter->Type == MIB_IF_TYPE_ETHERNET && adapter->AddressLength == 6) {
            mac = FormatMac(adapter->Address);
            return;
        }
    }
}

void GetMacByNetbios(std::wstring& mac, UCHAR (&adapterStatus)[kNetbiosStatusBufferSize],
                     const MacPlatform& platform) {
    UCHAR lanas[kNetbiosEnumBufferSize] = {};
    NCB ncb = {};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = lanas;
    ncb.ncb_length = kNetbiosEnumBufferSize;
    if (platform.netbios(&ncb) != NRC_GOODRET) {
        return;
    }
    // The count fits one byte and the numbers follow it, so every index stays inside the buffer.
    for (int i = 1; i <= lanas[0]; ++i) {
        ncb = NCB{};
        ncb.ncb_command = NCBRESET;
        ncb.ncb_lana_num = lanas[i];
        if (platform.netbios(&ncb) != NRC_GOODRET) {
            continue;
        }
        ncb = NCB{};
        ncb.ncb_command = NCBASTAT;
        ncb.ncb_lana_num = lanas[i];
        ncb.ncb_callname[0] = '*';
        ncb.ncb_buffer = adapterStatus;
        ncb.ncb_length = kNetbiosStatusBufferSize;
        if (platform.netbios(&ncb) != NRC_GOODRET) {
            return;
        }
        mac = FormatMac(adapterStatus);
        if (mac != kZeroMac) {
            return;
        }
    }
}

void GetMacBySnmp(std::wstring& mac, const MacPlatform& platform) {
    SnmpExtensionApi mib = {};
    if (!platform.loadSnmpExtension(mib) || !mib.init || !mib.query) {
        return;
    }
    HANDLE trapEvent = nullptr;
    AsnObjectIdentifier supportedView = {};
    mib.init(GetTickCount(), &trapEvent, &supportedView);

    SnmpVarBind binds[2] = {};
    WalkInterfaceTable(mib.query, binds, mac);
    SnmpUtilVarBindFree(&binds[0]);
    SnmpUtilVarBindFree(&binds[1]);
}

void GetMacByAdaptersAddresses(std::wstring& mac, const MacPlatform& platform) {
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kAdaptersAddressesBufferSize]());
    if (!buffer) {
        return;
    }
    auto* const first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get());
    ULONG size = kAdaptersAddressesBufferSize;
    if (platform.getAdaptersAddresses(AF_UNSPEC, 0, nullptr, first, &size) ==
        ERROR_BUFFER_OVERFLOW) {
        return;
    }
    size = kAdaptersAddressesBufferSize;
    if (platform.getAdaptersAddresses(AF_UNSPEC, 0, nullptr, first, &size) != NO_ERROR) {
        return;
    }
    for (const IP_ADAPTER_ADDRESSES* adapter = first; adapter; adapter = adapter->Next) {
        if (adapter->PhysicalAddressLength == 6) {
            mac = FormatMac(adapter->PhysicalAddress);
            return;
        }
    }
}
