// The IP Translation page's two lookups.

#include "ShellFixture.h"
#include "platform/SystemResolver.h"

namespace norvik::test {
namespace {

using platform::Buttons;
using platform::Icon;

class IpTranslation : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        start();
        click(w("iptransicon"));
    }
    QLineEdit* ipad() { return w<QLineEdit>("ipad"); }
    QLineEdit* name() { return w<QLineEdit>("domainname"); }
};

TEST_F(IpTranslation, NameToAddressAndBack) {
    resolver.names["host.test"] = {127, 0, 0, 7};
    resolver.hosts[{127, 0, 0, 7}] = "host.test";
    name()->setText("host.test");
    click(w("domtoip"));
    EXPECT_EQ(ipad()->text(), "127.0.0.7");
    name()->clear();
    click(w("iptodom"));
    EXPECT_EQ(name()->text(), "host.test");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(w<QPushButton>("iptodom")->isEnabled());
    EXPECT_TRUE(w<QPushButton>("domtoip")->isEnabled());
}

TEST_F(IpTranslation, DottedAddressAsNameGivesTheSameAddress) {
    name()->setText("127.0.0.3");
    click(w("domtoip"));
    EXPECT_EQ(ipad()->text(), "127.0.0.3");
}

TEST_F(IpTranslation, UnknownOrEmptyNameLeavesTheAddressEmpty) {
    ipad()->setText("127.0.0.1");
    name()->setText("nowhere.test");
    click(w("domtoip"));
    EXPECT_EQ(ipad()->text(), "");
    // An empty name gives an empty address whatever the resolver says.
    resolver.names[""] = {127, 0, 0, 9};
    ipad()->setText("127.0.0.1");
    name()->clear();
    click(w("domtoip"));
    EXPECT_EQ(ipad()->text(), "");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(IpTranslation, AddressWithoutNameOrNoAddressAtAllSaysSo) {
    for (const char* address : {"255.255.255.255", "127.0.0.8", ""}) {
        boxes.shown.clear();
        ipad()->setText(address);
        name()->setText("stale.test");
        click(w("iptodom"));
        ASSERT_EQ(boxes.shown.size(), 1u) << address;
        EXPECT_EQ(boxes.shown[0].text, "No Such IP Address Exists.");
        EXPECT_EQ(boxes.shown[0].caption, "Norvik - No Such IP");
        EXPECT_EQ(boxes.shown[0].buttons, Buttons::Ok);
        EXPECT_EQ(name()->text(), "") << address;
    }
}

TEST_F(IpTranslation, EnterRunsTheLookupOfTheBoxTypedIn) {
    resolver.names["host.test"] = {127, 0, 0, 7};
    resolver.hosts[{127, 0, 0, 4}] = "four.test";
    name()->setText("host.test");
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("domtoip"));
    key(name(), Qt::Key_Return);
    EXPECT_EQ(ipad()->text(), "127.0.0.7");

    ipad()->setText("127.0.0.4");
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("iptodom"));
    key(ipad(), Qt::Key_Enter);
    EXPECT_EQ(name()->text(), "four.test");
}

TEST_F(IpTranslation, SystemResolverOnLoopback) {
    platform::SystemResolver system;
    resolverInUse = &system;
    start();
    click(w("iptranswords"));
    name()->setText("localhost");
    click(w("domtoip"));
    EXPECT_EQ(ipad()->text(), "127.0.0.1");
    click(w("iptodom"));
    EXPECT_EQ(name()->text(), "localhost");
}

}  // namespace
}  // namespace norvik::test
