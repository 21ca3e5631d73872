#include <winsock2.h>
#include <iphlpapi.h>

#include "report/MacAddress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;
using Log = std::vector<std::string>;
using Oid = std::vector<UINT>;

const Bytes kNone;
const Bytes kZero = {0, 0, 0, 0, 0, 0};

// One adapter as any of the four sources reports it: the type, and an address of any length.
struct Adapter {
    UINT type;
    Bytes address;
};

struct Lana {
    UCHAR number;
    UCHAR resetResult;
    UCHAR statusResult;
    Bytes address;
};

// The fabricated machine behind the fake platform; each platform call appends a line to log.
struct FakeMachine {
    std::vector<Adapter> infos;
    ULONG infosNeed = sizeof(IP_ADAPTER_INFO);
    std::vector<IP_ADAPTER_INFO> infoTail;

    bool netbiosUp = true;
    std::vector<Lana> lanas;

    bool snmpLoads = true;
    bool snmpHasInit = true;
    AsnInteger32 ifCount = 0;
    std::vector<Adapter> ifRows;

    std::vector<Adapter> addresses;
    ULONG addressesNeed = kAdaptersAddressesBufferSize;
    std::vector<IP_ADAPTER_ADDRESSES> addressesTail;

    Log log;
};

FakeMachine* g_machine = nullptr;

ULONG WINAPI FakeGetAdaptersInfo(PIP_ADAPTER_INFO buffer, PULONG size) {
    FakeMachine& m = *g_machine;
    m.log.push_back("info " + std::to_string(*size));
    if (*size < m.infosNeed) {
        *size = m.infosNeed;
        return ERROR_BUFFER_OVERFLOW;
    }
    if (m.infos.empty()) {
        return ERROR_NO_DATA;
    }
    // The first record goes into the caller's buffer, the rest live here.
    m.infoTail.assign(m.infos.size(), IP_ADAPTER_INFO{});
    for (size_t i = 0; i < m.infos.size(); ++i) {
        IP_ADAPTER_INFO& record = i == 0 ? *buffer : m.infoTail[i];
        record.Type = m.infos[i].type;
        record.AddressLength = static_cast<UINT>(m.infos[i].address.size());
        std::copy(m.infos[i].address.begin(), m.infos[i].address.end(), record.Address);
        record.Next = i + 1 < m.infos.size() ? &m.infoTail[i + 1] : nullptr;
    }
    return NO_ERROR;
}

ULONG WINAPI FakeGetAdaptersAddresses(ULONG family, ULONG flags, PVOID reserved,
                                      PIP_ADAPTER_ADDRESSES buffer, PULONG size) {
    FakeMachine& m = *g_machine;
    EXPECT_EQ(family, ULONG{AF_UNSPEC});
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(reserved, nullptr);
    m.log.push_back("addresses " + std::to_string(*size));
    if (*size < m.addressesNeed) {
        *size = m.addressesNeed;
        return ERROR_BUFFER_OVERFLOW;
    }
    if (m.addresses.empty()) {
        return ERROR_NO_DATA;
    }
    m.addressesTail.assign(m.addresses.size(), IP_ADAPTER_ADDRESSES{});
    for (size_t i = 0; i < m.addresses.size(); ++i) {
        IP_ADAPTER_ADDRESSES& record = m.addressesTail[i];
        record.IfType = m.addresses[i].type;
        record.PhysicalAddressLength = static_cast<DWORD>(m.addresses[i].address.size());
        std::copy(m.addresses[i].address.begin(), m.addresses[i].address.end(),
                  record.PhysicalAddress);
        record.Next = i + 1 < m.addresses.size() ? &m.addressesTail[i + 1] : nullptr;
    }
    // The record type is larger than the buffer: only its leading part is delivered.
    std::memcpy(buffer, &m.addressesTail[0], std::min<size_t>(*size, sizeof *buffer));
    return NO_ERROR;
}

UCHAR APIENTRY FakeNetbios(PNCB ncb) {
    FakeMachine& m = *g_machine;
    const UCHAR lana = ncb->ncb_lana_num;
    const auto found = std::find_if(m.lanas.begin(), m.lanas.end(),
                                    [lana](const Lana& l) { return l.number == lana; });
    switch (ncb->ncb_command) {
    case NCBENUM:
        m.log.push_back("enum " + std::to_string(ncb->ncb_length));
        if (!m.netbiosUp) {
            return NRC_SYSTEM;
        }
        ncb->ncb_buffer[0] = static_cast<UCHAR>(m.lanas.size());
        for (size_t i = 0; i < m.lanas.size(); ++i) {
            ncb->ncb_buffer[1 + i] = m.lanas[i].number;
        }
        return NRC_GOODRET;
    case NCBRESET:
        m.log.push_back("reset " + std::to_string(lana));
        return found == m.lanas.end() ? NRC_BRIDGE : found->resetResult;
    case NCBASTAT: {
        m.log.push_back("astat " + std::to_string(lana) + " " + std::to_string(ncb->ncb_length));
        const UCHAR star[NCBNAMSZ] = {'*'};
        EXPECT_EQ(0, std::memcmp(ncb->ncb_callname, star, NCBNAMSZ));
        if (found == m.lanas.end() || found->statusResult != NRC_GOODRET) {
            return NRC_BRIDGE;
        }
        std::copy(found->address.begin(), found->address.end(), ncb->ncb_buffer);
        return NRC_GOODRET;
    }
    default:
        m.log.push_back("unexpected command");
        return NRC_SYSTEM;
    }
}

BOOL WINAPI FakeSnmpInit(DWORD, HANDLE* trapEvent, AsnObjectIdentifier* supportedView) {
    static UINT interfaces[] = {1, 3, 6, 1, 2, 1, 2};
    g_machine->log.push_back("init");
    *trapEvent = nullptr;
    *supportedView = {7, interfaces};
    return TRUE;
}

// The fake MIB: the interface count, then the table by column (index, type, mtu, address).
struct Cell {
    AsnInteger32 number;
    const Bytes* octets;
};

std::map<Oid, Cell> FakeMib(const FakeMachine& m) {
    std::map<Oid, Cell> mib = {{{1, 3, 6, 1, 2, 1, 2, 1, 0}, {m.ifCount, nullptr}}};
    for (UINT i = 0; i < m.ifRows.size(); ++i) {
        mib[{1, 3, 6, 1, 2, 1, 2, 2, 1, 1, i + 1}] = {static_cast<AsnInteger32>(i + 1), nullptr};
        mib[{1, 3, 6, 1, 2, 1, 2, 2, 1, 3, i + 1}] = {static_cast<AsnInteger32>(m.ifRows[i].type),
                                                      nullptr};
        mib[{1, 3, 6, 1, 2, 1, 2, 2, 1, 4, i + 1}] = {1500, nullptr};
        mib[{1, 3, 6, 1, 2, 1, 2, 2, 1, 6, i + 1}] = {0, &m.ifRows[i].address};
    }
    return mib;
}

// Replaces each binding with the next object as the system library does: the old name and value are
// freed and the new ones allocated, so that SnmpUtilVarBindFree can release them.
BOOL WINAPI FakeSnmpQuery(BYTE pduType, SnmpVarBindList* list, AsnInteger32* errorStatus,
                          AsnInteger32* errorIndex) {
    FakeMachine& m = *g_machine;
    m.log.push_back((pduType == SNMP_PDU_GETNEXT ? "getnext " : "other ") +
                    std::to_string(list->len));
    const std::map<Oid, Cell> mib = FakeMib(m);
    for (UINT i = 0; i < list->len; ++i) {
        SnmpVarBind& bind = list->list[i];
        const auto next = mib.upper_bound(Oid(bind.name.ids, bind.name.ids + bind.name.idLength));
        if (next == mib.end()) {
            *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
            *errorIndex = static_cast<AsnInteger32>(i + 1);
            return TRUE;
        }
        SnmpUtilVarBindFree(&bind);
        Oid name = next->first;
        AsnObjectIdentifier oid = {static_cast<UINT>(name.size()), name.data()};
        SnmpUtilOidCpy(&bind.name, &oid);
        const Cell& cell = next->second;
        if (!cell.octets) {
            bind.value.asnType = ASN_INTEGER32;
            bind.value.asnValue.number = cell.number;
            continue;
        }
        AsnOctetString& text = bind.value.asnValue.string;
        bind.value.asnType = ASN_OCTETSTRING;
        text.length = static_cast<UINT>(cell.octets->size());
        text.stream = nullptr;
        text.dynamic = FALSE;
        if (!cell.octets->empty()) {
            text.stream = static_cast<BYTE*>(SnmpUtilMemAlloc(text.length));
            std::copy(cell.octets->begin(), cell.octets->end(), text.stream);
            text.dynamic = TRUE;
        }
    }
    *errorStatus = SNMP_ERRORSTATUS_NOERROR;
    *errorIndex = 0;
    return TRUE;
}

bool FakeLoadSnmpExtension(SnmpExtensionApi& mib) {
    g_machine->log.push_back("load");
    if (!g_machine->snmpLoads) {
        return false;
    }
    mib.init = g_machine->snmpHasInit ? &FakeSnmpInit : nullptr;
    mib.query = &FakeSnmpQuery;
    return true;
}

const MacPlatform kFakePlatform = {&FakeGetAdaptersInfo, &FakeNetbios, &FakeLoadSnmpExtension,
                                   &FakeGetAdaptersAddresses};

// The addresses hold hex letters, so that every expected answer also checks the upper case.
const Bytes kAdapterA = {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f};
const Bytes kAdapterB = {0xfa, 0xeb, 0xdc, 0xcd, 0xbe, 0xaf};
const Bytes kAdapterC = {0x00, 0x50, 0x56, 0xc0, 0x00, 0x08};
const Bytes kLong = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
const Bytes kDest = {0x44, 0x45, 0x53, 0x54, 0x00, 0x01};
const wchar_t kMacA[] = L"0A-1B-2C-3D-4E-5F";
const wchar_t kMacB[] = L"FA-EB-DC-CD-BE-AF";
const wchar_t kMacC[] = L"00-50-56-C0-00-08";

const std::string kInfo = "info " + std::to_string(kAdaptersInfoBufferSize);
const std::string kAddresses = "addresses " + std::to_string(kAdaptersAddressesBufferSize);
const Log kInfoCalls = {kInfo, kInfo};
const Log kNetbiosEnum = {"enum 256"};
const Log kSnmpCount = {"load", "init", "getnext 1"};
const Log kAddressesCalls = {kAddresses, kAddresses};

Log Join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class MacAddressTest : public ::testing::Test {
protected:
    void SetUp() override { g_machine = &machine; }
    void TearDown() override { g_machine = nullptr; }
    std::wstring Run() { return GetMacAddress(kFakePlatform); }

    FakeMachine machine;
};

TEST_F(MacAddressTest, OneEthernetAdapterAnswersAloneFromAdapterInfo) {
    machine.infos = {{MIB_IF_TYPE_ETHERNET, kAdapterA}};
    machine.lanas = {{0, NRC_GOODRET, NRC_GOODRET, kAdapterB}};
    machine.addresses = {{IF_TYPE_ETHERNET_CSMACD, kAdapterC}};
    EXPECT_EQ(Run(), kMacA);
    EXPECT_EQ(machine.log, kInfoCalls);
}

TEST_F(MacAddressTest, AdapterInfoOverflowIsGivenUpAndNetbiosAnswers) {
    machine.infos = {{MIB_IF_TYPE_ETHERNET, kAdapterA}, {MIB_IF_TYPE_ETHERNET, kAdapterC}};
    machine.infosNeed = 2 * sizeof(IP_ADAPTER_INFO);
    machine.lanas = {{2, NRC_GOODRET, NRC_GOODRET, kAdapterB}};
    EXPECT_EQ(Run(), kMacB);
    EXPECT_EQ(machine.log, (Log{kInfo, "enum 256", "reset 2", "astat 2 600"}));
}

TEST_F(MacAddressTest, AdapterInfoTakesFirstEthernetRecordWithSixByteAddress) {
    machine.infos = {{MIB_IF_TYPE_PPP, kAdapterB},
                     {MIB_IF_TYPE_ETHERNET, kLong},
                     {MIB_IF_TYPE_ETHERNET, kAdapterC},
                     {MIB_IF_TYPE_ETHERNET, kAdapterA}};
    EXPECT_EQ(Run(), kMacC);
}

TEST_F(MacAddressTest, NetbiosSkipsFailedResetAndZeroAddress) {
    machine.lanas = {{0, NRC_BRIDGE, NRC_GOODRET, kAdapterA},
                     {3, NRC_GOODRET, NRC_GOODRET, kZero},
                     {5, NRC_GOODRET, NRC_GOODRET, kAdapterB},
                     {6, NRC_GOODRET, NRC_GOODRET, kAdapterC}};
    EXPECT_EQ(Run(), kMacB);
    EXPECT_EQ(machine.log,
              Join({kInfoCalls,
                    {"enum 256", "reset 0", "reset 3", "astat 3 600", "reset 5", "astat 5 600"}}));
}

TEST_F(MacAddressTest, NetbiosZerosAreKeptWhenLaterMethodsFindNothing) {
    machine.lanas = {{1, NRC_GOODRET, NRC_GOODRET, kZero}, {4, NRC_GOODRET, NRC_GOODRET, kZero}};
    EXPECT_EQ(Run(), L"00-00-00-00-00-00");
    EXPECT_EQ(machine.log, Join({kInfoCalls,
                                 {"enum 256", "reset 1", "astat 1 600", "reset 4", "astat 4 600"},
                                 kSnmpCount,
                                 kAddressesCalls}));
}

TEST_F(MacAddressTest, NetbiosStatusFailureEndsTheMethod) {
    machine.lanas = {{0, NRC_GOODRET, NRC_BRIDGE, kAdapterA},
                     {1, NRC_GOODRET, NRC_GOODRET, kAdapterB}};
    machine.addresses = {{IF_TYPE_ETHERNET_CSMACD, kAdapterC}};
    EXPECT_EQ(Run(), kMacC);
    EXPECT_EQ(
        machine.log,
        Join({kInfoCalls, {"enum 256", "reset 0", "astat 0 600"}, kSnmpCount, kAddressesCalls}));
}

TEST_F(MacAddressTest, SnmpTakesFirstEthernetRowWithUsableAddress) {
    machine.ifRows = {{IF_TYPE_SOFTWARE_LOOPBACK, kNone}, {IF_TYPE_IEEE80211, kAdapterA},
                      {MIB_IF_TYPE_ETHERNET, kDest},      {MIB_IF_TYPE_ETHERNET, kZero},
                      {MIB_IF_TYPE_ETHERNET, kNone},      {MIB_IF_TYPE_ETHERNET, kAdapterB},
                      {MIB_IF_TYPE_ETHERNET, kAdapterC}};
    machine.ifCount = static_cast<AsnInteger32>(machine.ifRows.size());
    machine.addresses = {{IF_TYPE_ETHERNET_CSMACD, kAdapterC}};
    EXPECT_EQ(Run(), kMacB);
    EXPECT_EQ(machine.log, Join({kInfoCalls, kNetbiosEnum, kSnmpCount, Log(6, "getnext 2")}));
}

TEST_F(MacAddressTest, SnmpWalksNoMoreRowsThanTheInterfaceCount) {
    machine.ifRows = {{IF_TYPE_IEEE80211, kAdapterA}, {MIB_IF_TYPE_ETHERNET, kAdapterB}};
    for (const AsnInteger32 count : {-1, 0, 1}) {
        SCOPED_TRACE(count);
        machine.ifCount = count;
        machine.log.clear();
        EXPECT_EQ(Run(), L"");
        EXPECT_EQ(machine.log, Join({kInfoCalls, kNetbiosEnum, kSnmpCount,
                                     Log(count > 0 ? count : 0, "getnext 2"), kAddressesCalls}));
    }
}

TEST_F(MacAddressTest, SnmpLibraryThatCannotBeBoundIsNeverQueried) {
    machine.ifCount = 1;
    machine.ifRows = {{MIB_IF_TYPE_ETHERNET, kAdapterA}};
    machine.snmpHasInit = false;
    for (const bool loads : {true, false}) {
        SCOPED_TRACE(loads);
        machine.snmpLoads = loads;
        machine.log.clear();
        EXPECT_EQ(Run(), L"");
        EXPECT_EQ(machine.log, Join({kInfoCalls, kNetbiosEnum, {"load"}, kAddressesCalls}));
    }
}

TEST_F(MacAddressTest, AdapterAddressesTakesFirstSixByteAddressOfAnyType) {
    machine.addresses = {{IF_TYPE_ETHERNET_CSMACD, kNone},
                         {IF_TYPE_ETHERNET_CSMACD, kLong},
                         {IF_TYPE_TUNNEL, kAdapterA},
                         {IF_TYPE_ETHERNET_CSMACD, kAdapterB}};
    EXPECT_EQ(Run(), kMacA);
}

TEST_F(MacAddressTest, NothingAnywhereGivesEmptyIdentifier) {
    machine.netbiosUp = false;
    machine.addresses = {{IF_TYPE_ETHERNET_CSMACD, kAdapterA}};
    machine.addressesNeed = 2 * kAdaptersAddressesBufferSize;
    EXPECT_EQ(Run(), L"");
    EXPECT_EQ(machine.log, Join({kInfoCalls, kNetbiosEnum, kSnmpCount, {kAddresses}}));
}

// The real machine's adapters are unknown: only the shape of each answer is checked, and that
// no method crashes where the system lacks a piece.
TEST(MacAddressSystem, EveryMethodAnswersEmptyOrWellFormed) {
    std::wstring fromInfo, fromNetbios, fromSnmp, fromAddresses;
    UCHAR adapterStatus[600] = {};
    GetMacByAdaptersInfo(fromInfo);
    GetMacByNetbios(fromNetbios, adapterStatus);
    GetMacBySnmp(fromSnmp);
    GetMacByAdaptersAddresses(fromAddresses);
    const std::wregex shape(L"([0-9A-F]{2}-){5}[0-9A-F]{2}");
    for (const std::wstring& mac :
         {fromInfo, fromNetbios, fromSnmp, fromAddresses, GetMacAddress()}) {
        EXPECT_TRUE(mac.empty() || std::regex_match(mac, shape)) << mac;
    }
}

} // namespace
