#include "control/port_discovery.h"

#include <gtest/gtest.h>

#include <set>

#include "control/com_name_probe.h"
#include "tests/control/fake_panel.h"

namespace {

// Answers for a fixed set of COM names and remembers every name it was asked about.
class RecordingComProbe : public ComNameProbe {
public:
    std::set<std::string> present;
    std::vector<std::string> asked;

protected:
    bool deviceExists(const char* name) override {
        asked.emplace_back(name);
        return present.count(name) != 0;
    }
};

TEST(ComNameProbe, AsksForCom0ToCom254InOrderAndNothingElse) {
    RecordingComProbe probe;
    probe.present = {"COM0", "COM254", "COM255"};
    const std::vector<std::string> names = probe.presentPortNames();
    ASSERT_EQ(probe.asked.size(), 255u);
    EXPECT_EQ(probe.asked.front(), "COM0");
    EXPECT_EQ(probe.asked[10], "COM10");
    EXPECT_EQ(probe.asked.back(), "COM254");
    EXPECT_EQ(names, (std::vector<std::string>{"COM0", "COM254"}));
}

TEST(RefreshPortList, KeepsTextOrderAndChoosesTheLastEntry) {
    RecordingComProbe probe;
    probe.present = {"COM3", "COM10"};
    FakePanelView list;
    refreshPortList(list, probe);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"COM10", "COM3"}));
    EXPECT_EQ(list.chosenPortName(), "COM3");

    probe.present = {"COM1", "COM2"};
    refreshPortList(list, probe);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_EQ(list.chosenPortName(), "COM2");
}

TEST(RefreshPortList, ChoosesTheNameToKeepWhileListedAndShowsDescriptions) {
    FixedProbe probe;
    probe.names = {"ttyUSB0", "ttyUSB1", "vdimmer"};
    probe.descriptions = {{"ttyUSB1", "FTDI FT232R USB UART"}, {"vdimmer", "virtual dimmer"}};
    FakePanelView list;
    refreshPortList(list, probe, "ttyUSB0");
    EXPECT_EQ(list.chosenPortName(), "ttyUSB0");
    EXPECT_EQ(list.descriptions, probe.descriptions) << "no entry without a description gets one";
    refreshPortList(list, probe, "ttyUSB7");
    EXPECT_EQ(list.chosenPortName(), "vdimmer");
}

TEST(RefreshPortList, NothingFoundLeavesTheListEmptyWithNothingChosen) {
    RecordingComProbe probe;
    FakePanelView list;
    list.addPortName("COM9");
    list.selectPortName(0);
    refreshPortList(list, probe);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.chosen, -1);
}

TEST(DiscoverPorts, AddsWithoutRemovingOrChoosing) {
    FixedProbe probe;
    FakePanelView list;
    list.addPortName("COM7");
    EXPECT_FALSE(discoverPorts(list, probe));
    probe.names = {"COM2"};
    EXPECT_TRUE(discoverPorts(list, probe));
    EXPECT_EQ(list.entries, (std::vector<std::string>{"COM2", "COM7"}));
    EXPECT_EQ(list.chosen, -1);
}

}  // namespace
