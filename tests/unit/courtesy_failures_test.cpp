// The courtesy window when EchoLink stops answering some calls: each failing procedure is reported once (until it
// works again), the failed step is skipped, displays keep what they showed, and everything carries on when EchoLink
// answers again.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/backends.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "courtesy/form21.h"
#include "echolink/simulated_node.h"
#include "platform/instance_lock.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/recording_prompter.h"
#include "session/transcript.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// A node whose instances fail the operations named in `failing`, and otherwise pass everything through.
class FlakyNode : public EchoLinkNode {
 public:
  explicit FlakyNode(SimulatedNode& inner) : inner_(inner) {}
  std::unique_ptr<EchoLinkApp> createApp() override { return std::make_unique<App>(*this, inner_.createApp()); }
  std::set<std::string> failing;

 private:
  class App : public EchoLinkApp {
   public:
    App(FlakyNode& node, std::unique_ptr<EchoLinkApp> inner) : node_(node), inner_(std::move(inner)) {
      inner_->events.CarrierDetect = [this](bool b) {
        if (events.CarrierDetect) events.CarrierDetect(b);
      };
      inner_->events.RX = [this](bool b) {
        if (events.RX) events.RX(b);
      };
    }
    void SetPTT(bool on) override { check("SetPTT"), inner_->SetPTT(on); }
    bool BusyStateA() override { return check("BusyStateA"), inner_->BusyStateA(); }
    bool BusyStateB() override { return check("BusyStateB"), inner_->BusyStateB(); }
    bool PTTState() override { return check("PTTState"), inner_->PTTState(); }
    bool CarrierState() override { return check("CarrierState"), inner_->CarrierState(); }
    void PlayCW(std::int32_t mode, const std::string& text) override { check("PlayCW"), inner_->PlayCW(mode, text); }
    std::unique_ptr<EchoLinkStation> LocalStation() override { return inner_->LocalStation(); }
    void SendChatText(const std::string& text) override { check("SendChatText"), inner_->SendChatText(text); }

   private:
    void check(const char* operation) {
      if (node_.failing.count(operation)) throw AutomationError(std::string("EchoLink did not answer ") + operation);
    }
    FlakyNode& node_;
    std::unique_ptr<EchoLinkApp> inner_;
  };
  SimulatedNode& inner_;
};

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path = pattern;
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
};

class CourtesyFailures : public ::testing::Test {
 protected:
  CourtesyFailures() {
    std::ofstream(home_.path / "quillmere.ini") << "[SETTINGS]\r\nCheck1=0\r\n";
    std::ofstream(machine_.path / "quillmere_courtsey.ini") << "[SETTINGS]\r\nBEACONPERIOD7=1\r\n";
    program_.start();
  }

  Form21& form() { return program_.form21(); }
  void wait(std::chrono::milliseconds d) { scheduler_.runFor(d); }
  // The output events of one kind, taken.
  std::vector<std::string> take(const std::string& kind) {
    std::vector<std::string> out;
    for (const OutputEvent& e : transcript_.pending(kind)) out.push_back(e.arg);
    transcript_.pending(kind).clear();
    return out;
  }
  using Texts = std::vector<std::string>;
  // The procedures that internal-error boxes name, in alphabetical order.
  static Texts procedures(const Texts& boxes) {
    std::multiset<std::string> names;
    for (const std::string& b : boxes) {
      const std::string prefix = "Internal Error: ";
      EXPECT_EQ(b.rfind(prefix, 0), 0u) << b;
      names.insert(b.substr(prefix.size(), b.find("\r\n") - prefix.size()));
    }
    return Texts(names.begin(), names.end());
  }

  TempFolder home_, machine_;
  VirtualScheduler scheduler_{Scheduler::TimePoint{}};
  Transcript transcript_{scheduler_, nullptr};
  RecordingPrompter prompter_{transcript_};
  ScenarioExit exit_{transcript_, [] {}};
  SimulatedNode sim_{transcript_};
  FlakyNode node_{sim_};
  FixedInstanceLock lock_{false};
  Backends backends_{scheduler_, prompter_, exit_, node_, lock_, transcript_, Folders{home_.path, machine_.path}};
  Program program_{backends_};
};

TEST_F(CourtesyFailures, DisplaysKeepTheirStateAndReportOncePerStreak) {
  EXPECT_TRUE(take("box").empty());
  sim_.setCarrier(true);
  sim_.setRx(true);
  wait(10ms);
  EXPECT_EQ(form().RFUser.Text(), Form21::kReceivingRF);
  EXPECT_EQ(form().PTT.Text(), Form21::kPttOn);

  node_.failing = {"CarrierState", "PTTState"};
  sim_.setCarrier(false);
  sim_.setRx(false);
  wait(2s);
  // Two hundred failed polls each, one report each (the hang-time poll, started by the drop, reads the carrier
  // too); what the boxes showed stays.
  Texts boxes = take("box");
  EXPECT_EQ(procedures(boxes), (Texts{"KickBackCheck_Timer", "Timer3_Timer", "Timer4_Timer"}));
  for (const std::string& box : boxes) EXPECT_NE(box.find("\r\nEchoLink did not answer "), std::string::npos);
  EXPECT_EQ(form().RFUser.Text(), Form21::kReceivingRF);
  EXPECT_EQ(program_.main().PTT.Text(), Form21::kPttOn);
  // The kerchunk display does not depend on EchoLink and still follows the filter.
  EXPECT_EQ(form().Kerchunk.Text(), Form21::kKerchunkerSet);

  node_.failing.clear();
  wait(10ms);
  EXPECT_EQ(form().RFUser.Text(), Form21::kRxStandby);
  EXPECT_EQ(program_.main().RFUser.Text(), Form21::kRxStandby);
  EXPECT_EQ(form().PTT.Text(), Form21::kPttOff);

  // A new streak is a new report: the display poll's and the anti-kerchunk wait's (it runs out at 3 s). The
  // hang-time poll has had no good read since its first failure, so it is still reported.
  node_.failing = {"CarrierState"};
  wait(1s);
  EXPECT_EQ(procedures(take("box")), (Texts{"Kerchunker_Timer", "Timer3_Timer"}));
}

TEST_F(CourtesyFailures, ALetterEchoLinkRefusesIsLostNotQueued) {
  take("cw");
  sim_.setCarrier(true);
  wait(4s);
  EXPECT_EQ(form().OK2Kerchunk.Caption(), "Yes");
  node_.failing = {"PlayCW"};
  sim_.setCarrier(false);
  wait(500ms);
  Texts boxes = take("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Internal Error: KickBackCheck_Timer\r\n", 0), 0u);
  // The filter is armed again and the poll stopped, as after a letter.
  EXPECT_EQ(form().OK2Kerchunk.Caption(), "No");
  EXPECT_FALSE(form().KickBackCheck.Enabled());

  // The internet letter and "Test" fail the same way, each reported once.
  sim_.setRx(true);
  sim_.setRx(false);
  sim_.setRx(false);
  form().Command10.click();
  form().Command10.click();
  EXPECT_EQ(take("box").size(), 2u);

  node_.failing.clear();
  wait(1s);
  EXPECT_TRUE(take("cw").empty());
  sim_.setCarrier(true);
  wait(4s);
  sim_.setCarrier(false);
  wait(500ms);
  EXPECT_EQ(take("cw"), Texts{"K"});
}

TEST_F(CourtesyFailures, TheCarrierUnreadableAtTheWaitsEndLeavesItUnqualified) {
  sim_.setCarrier(true);
  wait(2s);
  node_.failing = {"CarrierState"};
  wait(1s);
  node_.failing.clear();
  EXPECT_EQ(form().OK2Kerchunk.Caption(), "No");
  EXPECT_FALSE(form().Kerchunker.Enabled());
  sim_.setCarrier(false);
  wait(2s);
  EXPECT_TRUE(take("cw").empty());
}

TEST_F(CourtesyFailures, AnUnreadableChannelCountsAsBusy) {
  form().StopClock7.setValue(1);
  node_.failing = {"BusyStateB"};
  wait(5s);
  // Due at the fifth second, not sent: owed until the channel can be read and is clear.
  EXPECT_TRUE(take("cw").empty());
  EXPECT_EQ(form().PendingID, "1");
  wait(10s);
  Texts boxes = take("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Internal Error: Beacon7_Timer\r\nEchoLink did not answer BusyStateB", 0), 0u);
  node_.failing.clear();
  wait(1s);
  EXPECT_EQ(take("cw"), Texts{"Your Call"});
  EXPECT_EQ(form().PendingID, "0");
  // The countdown never stopped.
  EXPECT_EQ(form().BeaconSeconds7.Caption(), "49");

  // "Send ID" that cannot read the carrier owes the identification rather than sending blind.
  node_.failing = {"CarrierState"};
  form().SendCW.click();
  EXPECT_TRUE(take("cw").empty());
  EXPECT_EQ(form().PendingID, "1");
  node_.failing.clear();
  wait(1s);
  EXPECT_EQ(take("cw"), Texts{"Your Call"});
  Texts sendBoxes = take("box");
  ASSERT_FALSE(sendBoxes.empty());
  EXPECT_EQ(sendBoxes[0].rfind("Internal Error: SendCW_Click\r\n", 0), 0u);
}

TEST_F(CourtesyFailures, AnIdentificationEchoLinkRefusesIsReportedAndTheScheduleGoesOn) {
  form().StopClock7.setValue(1);
  node_.failing = {"PlayCW"};
  wait(5s);
  EXPECT_EQ(take("box").size(), 1u);
  EXPECT_EQ(form().BeaconSeconds7.Caption(), "60");
  EXPECT_EQ(form().PendingID, "0");
  node_.failing.clear();
  wait(60s);
  EXPECT_EQ(take("cw"), Texts{"Your Call"});
}

}  // namespace
}  // namespace qm
