// The forwarding settings as pure functions: addresses and ranges compared as addresses, the
// [FORWARDING] keys read with their defaults and their problems, written back and read again,
// the rules for peers and writes, and how often a refused address is logged.
#include "forwarding/forwarding_settings.h"
#include "forwarding/peer_policy.h"

#include "platform/config/opc_config.h"
#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

PeerAddress Address(const char* text) { return PeerAddress::Parse(text).value(); }

ForwardingSettingsRead ParseKeys(const std::map<std::string, std::string>& keys) {
    return ParseForwardingSettings([&](const char* key) -> std::optional<std::string> {
        const auto found = keys.find(key);
        if (found == keys.end()) return std::nullopt;
        return found->second;
    });
}

}  // namespace

TEST(AddressList, MatchesAddressesAsNumbersNotAsText) {
    struct Case {
        const char* entry;
        const char* peer;
        bool matches;
    };
    const Case cases[] = {
        {"10.0.0.1", "10.0.0.1", true},
        {"10.0.0.1", "10.0.0.10", false},       // a text prefix, not the same address
        {"10.0.0.1", "::ffff:10.0.0.1", true},  // an IPv4 peer on an IPv6 socket
        {"::ffff:10.0.0.1", "10.0.0.1", true},
        {"10.0.0.0/8", "10.255.1.2", true},
        {"10.0.0.0/8", "11.0.0.1", false},
        {"192.168.1.77/24", "192.168.1.3", true},  // host bits beyond the prefix do not matter
        {"172.16.0.0/12", "172.31.255.255", true},
        {"172.16.0.0/12", "172.32.0.0", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"0.0.0.0/0", "2001:db8::1", false},  // every IPv4 address, no IPv6 one
        {"::1", "::1", true},
        {"::1", "127.0.0.1", false},
        {"2001:db8::/32", "2001:0db8:0:0::7", true},
        {"2001:db8::/33", "2001:db8:8000::1", false},
        {"127.0.0.1/32", "127.0.0.2", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " ~ " + c.peer);
        const AddressList::Parsed parsed = AddressList::Parse(c.entry);
        ASSERT_TRUE(parsed.malformed.empty());
        EXPECT_EQ(parsed.list.Contains(Address(c.peer)), c.matches);
    }
}

TEST(AddressList, ReportsMalformedEntriesAsWrittenAndKeepsTheOthers) {
    const AddressList::Parsed parsed =
        AddressList::Parse(" 10.0.0.300, 10.0.0.1;fd00::/129\n192.168.0.0/33 host.example 10.0.0/8 ::1/-1 1.2.3.4/ ");
    EXPECT_EQ(parsed.malformed, (std::vector<std::string>{"10.0.0.300", "fd00::/129", "192.168.0.0/33", "host.example",
                                                          "10.0.0/8", "::1/-1", "1.2.3.4/"}));
    EXPECT_TRUE(parsed.hadEntries);
    EXPECT_EQ(parsed.list.ToString(), "10.0.0.1");
    EXPECT_FALSE(parsed.list.Contains(Address("10.0.0.44")));

    EXPECT_FALSE(AddressList::Parse(" ,; \n").hadEntries);
    EXPECT_EQ(AddressList::Parse("10.1.2.3/8 ::ffff:10.0.0.1 2001:DB8::/32").list.ToString(),
              "10.1.2.3/8, 10.0.0.1, 2001:db8::/32");
}

TEST(ForwardingSettings, ReadsTheKeysAndReportsBadValuesWhichTakeTheirDefaults) {
    const ForwardingSettingsRead none = ParseKeys({});
    EXPECT_FALSE(none.settings.listenAddress);
    EXPECT_EQ(none.settings.port, 8890);
    EXPECT_FALSE(none.settings.allowed) << "everyone, as without the section";
    EXPECT_EQ(none.settings.writes, LinkWrites::kOn);
    EXPECT_EQ(none.settings.maxPeers, 0u);
    EXPECT_TRUE(none.problems.empty());

    const ForwardingSettingsRead good = ParseKeys({{"LISTEN_ADDR", "::"},
                                                   {"PORT", " 15890 "},
                                                   {"ALLOW", "10.0.0.0/8, 127.0.0.1"},
                                                   {"WRITES", "Listed"},
                                                   {"WRITE_ALLOW", "10.0.0.5"},
                                                   {"MAX_PEERS", "4"}});
    EXPECT_TRUE(good.problems.empty());
    EXPECT_EQ(good.settings.listenAddress->ToString(), "::");
    EXPECT_EQ(good.settings.port, 15890);
    EXPECT_EQ(good.settings.allowed->ToString(), "10.0.0.0/8, 127.0.0.1");
    EXPECT_EQ(good.settings.writes, LinkWrites::kListed);
    EXPECT_EQ(good.settings.writers.ToString(), "10.0.0.5");
    EXPECT_EQ(good.settings.maxPeers, 4u);

    using Kind = SettingsProblem::Kind;
    const ForwardingSettingsRead bad = ParseKeys({{"LISTEN_ADDR", "eth0"},
                                                  {"PORT", "70000"},
                                                  {"ALLOW", "10.0.0.1 10.0.0.999"},
                                                  {"WRITES", "of"},
                                                  {"WRITE_ALLOW", "x/8"},
                                                  {"MAX_PEERS", "-2"}});
    EXPECT_FALSE(bad.settings.listenAddress);
    EXPECT_EQ(bad.settings.port, 8890);
    EXPECT_EQ(bad.settings.writes, LinkWrites::kOn);
    EXPECT_EQ(bad.settings.maxPeers, 0u);
    EXPECT_EQ(bad.settings.allowed->ToString(), "10.0.0.1") << "the good entries stay";
    std::vector<std::string> reported;
    for (const SettingsProblem& p : bad.problems)
        reported.push_back(p.key + "=" + p.value + (p.kind == Kind::kBadEntry ? " (entry)" : ""));
    EXPECT_EQ(reported, (std::vector<std::string>{"LISTEN_ADDR=eth0", "PORT=70000", "WRITES=of", "MAX_PEERS=-2",
                                                  "ALLOW=10.0.0.999 (entry)", "WRITE_ALLOW=x/8 (entry)"}));

    // A list of nothing but typos refuses everyone: a typo never opens the port to all.
    const ForwardingSettingsRead typos = ParseKeys({{"ALLOW", "10.0.0.256"}});
    ASSERT_TRUE(typos.settings.allowed);
    EXPECT_FALSE(typos.settings.allowed->Contains(Address("10.0.0.1")));
    ASSERT_EQ(typos.problems.size(), 2u);
    EXPECT_EQ(typos.problems[1].kind, Kind::kNoValidEntry);
}

TEST(ForwardingSettings, WrittenToOpcCfgBesideItsOtherKeysAndReadBack) {
    TempFolder folder;
    SetConfigFolder(folder.path());
    TempFolder::Write(folder / "OPC.cfg", "[CONFIG]\nPATH=/srv/plant.ovopc\n");
    ForwardingSettings settings;
    settings.listenAddress = Address("127.0.0.1");
    settings.port = 9000;
    settings.allowed = AddressList::Parse("192.168.10.0/24 ::1").list;
    settings.writes = LinkWrites::kListed;
    settings.writers = AddressList::Parse("192.168.10.7").list;
    settings.maxPeers = 12;
    ASSERT_TRUE(WriteForwardingSettings(settings));

    const ForwardingSettingsRead read = ReadForwardingSettings();
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(read.settings.listenAddress, settings.listenAddress);
    EXPECT_EQ(read.settings.port, 9000);
    EXPECT_EQ(read.settings.allowed->ToString(), "192.168.10.0/24, ::1");
    EXPECT_EQ(read.settings.writes, LinkWrites::kListed);
    EXPECT_EQ(read.settings.writers.ToString(), "192.168.10.7");
    EXPECT_EQ(read.settings.maxPeers, 12u);
    EXPECT_EQ(ReadProjectPath(), "/srv/plant.ovopc");
    SetConfigFolder("");
}

TEST(PeerPolicy, AdmitsAndLetsWriteByTheSettings) {
    ForwardingSettings settings;
    settings.allowed = AddressList::Parse("10.0.0.0/8").list;
    settings.maxPeers = 2;
    settings.writes = LinkWrites::kListed;
    settings.writers = AddressList::Parse("10.0.0.5").list;
    const PeerPolicy policy(settings);
    using A = PeerPolicy::Admission;
    EXPECT_EQ(policy.Admit(Address("10.1.1.1"), 0), A::kAdmitted);
    EXPECT_EQ(policy.Admit(Address("::ffff:10.1.1.1"), 1), A::kAdmitted);
    EXPECT_EQ(policy.Admit(Address("10.1.1.1"), 2), A::kTooManyPeers);
    EXPECT_EQ(policy.Admit(Address("192.168.1.1"), 0), A::kNotListed);
    using W = PeerPolicy::WriteRight;
    EXPECT_EQ(policy.MayWrite(Address("10.0.0.5")), W::kAllowed);
    EXPECT_EQ(policy.MayWrite(Address("10.0.0.6")), W::kNotListed);
    settings.writes = LinkWrites::kOff;
    EXPECT_EQ(PeerPolicy(settings).MayWrite(Address("10.0.0.5")), W::kWritesOff);
    EXPECT_EQ(PeerPolicy().Admit(Address("203.0.113.1"), 10000), A::kAdmitted) << "no settings: as always";
    EXPECT_EQ(PeerPolicy().MayWrite(Address("203.0.113.1")), W::kAllowed);
}

TEST(RefusalLog, OncePerAddressPerMinute) {
    RefusalLog log;
    const RefusalLog::Clock::time_point t0{};
    using std::chrono::seconds;
    struct Step {
        const char* address;
        int second;
        bool logged;
    };
    const Step steps[] = {
        {"10.0.0.1", 0, true},   {"10.0.0.1", 1, false}, {"::ffff:10.0.0.1", 30, false}, {"10.0.0.2", 30, true},
        {"10.0.0.1", 59, false}, {"10.0.0.1", 60, true}, {"10.0.0.1", 100, false},       {"10.0.0.2", 95, true},
    };
    for (const Step& step : steps)
        EXPECT_EQ(log.ShouldLog(Address(step.address), t0 + seconds(step.second)), step.logged)
            << step.address << " at " << step.second << " s";

    // Addresses beyond what is remembered do not grow it without bound, and are still logged.
    for (unsigned i = 0; i < RefusalLog::kRemembered + 10; ++i) {
        const std::string address = "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        EXPECT_TRUE(log.ShouldLog(Address(address.c_str()), t0 + seconds(200)));
    }
}
