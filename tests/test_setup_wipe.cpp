// "Wipe lens now" against the stand-in sensor on a pseudo-terminal: the
// progress message stays up while the sensor works, the dialog stays usable,
// and a wipe the sensor does not confirm is reported.
#include "SetupDialogFixture.h"

#include "CSpin.h"
#include "CommandSet.h"
#include "MessageFormUnit.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

class SetupWipe : public SetupDialogFixture {
protected:
    void SetUp() override
    {
        SetupDialogFixture::SetUp();
        testsupport::mapComPort(1, sensor.slavePath());
        ASSERT_TRUE(device->StartComs("Com1", 19200));
    }
    void TearDown() override
    {
        SetupDialogFixture::TearDown();
        testsupport::clearComPortMap();
    }

    int wipeRequests() const
    {
        int n = 0;
        for (const standin::Request& r : sensor.requests())
            n += r.frame.content == standin::ContentCommand && !r.frame.data.empty()
                 && r.frame.data[0] == standin::cmd::WipeNow;
        return n;
    }

    QList<TMessageForm*> messageForms() const { return form->findChildren<TMessageForm*>(); }

    standin::Standin sensor;
    std::shared_ptr<standin::SensorModel> model = standin::installCommandSet(sensor);
};

TEST_F(SetupWipe, ShowsProgressWhileTheSensorWipesAndStaysUsable)
{
    open();
    click({"Channels", "Turbidity"});
    // The null command first, then the wipe, accepted after 1.5 s.
    sensor.script({standin::Response::byHandler(),
                   standin::Response::reply(standin::cmd::WipeNow, {}).after(1500)});
    bool sawProgress = false;
    QTimer::singleShot(700, form.get(), [&] {
        const auto shown = messageForms();
        ASSERT_EQ(shown.size(), 1);
        TMessageForm* m = shown.first();
        sawProgress = m->isVisible();
        EXPECT_EQ(m->windowTitle(), "Wiping turbidity lens, Please wait.");
        EXPECT_EQ(m->ProgressLabel->text(), "Wiping progress");
        EXPECT_GE(m->ProgressBar->value(), 1); // its timer runs during the wait
        EXPECT_FALSE(form->Chan_WipeNowBtn->isEnabled());
        // The dialog answers the user meanwhile.
        replace(form->Chan_PresisionEdit, "3");
    });
    QTest::mouseClick(form->Chan_WipeNowBtn, Qt::LeftButton);

    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(messageForms().isEmpty());
    EXPECT_TRUE(form->Chan_WipeNowBtn->isEnabled());
    EXPECT_EQ(wipeRequests(), 1);
    EXPECT_TRUE(messages.isEmpty());
    conf.ChannelSetup[standin::channels::Turbidity].Precision = 3;
    expectImages();
}

TEST_F(SetupWipe, AWipeTheSensorDoesNotConfirmIsReported)
{
    struct Case {
        const char* name;
        std::function<void(standin::Standin&)> fault;
    };
    const Case cases[] = {
        {"refused", [](standin::Standin& s) {
             s.script({standin::Response::byHandler(), standin::Response::reply(27, {}, standin::ErrorBadParameter)});
         }},
        {"unplugged", [](standin::Standin& s) { s.hangUp(); }},
    };
    open();
    click({"Channels", "Turbidity"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        c.fault(sensor);
        QTest::mouseClick(form->Chan_WipeNowBtn, Qt::LeftButton);
        EXPECT_EQ(messages,
                  QStringList({"The sensor did not confirm the lens wipe. Check the connection and try again."}));
        EXPECT_TRUE(messageForms().isEmpty());
        EXPECT_TRUE(form->Chan_WipeNowBtn->isEnabled());
    }
    EXPECT_EQ(model->state().wipes, 0);
    EXPECT_EQ(wipeRequests(), 1); // the refused one; none reached the unplugged sensor
    expectImages();
}

} // namespace
