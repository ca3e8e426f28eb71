// The second-generation tooltip's timer steps, driven by hand: every case lists the host calls the
// machine makes, in order.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "htmltip/tooltip_timers.h"

namespace {

using namespace v7::htmltip;

class RecordingHost : public TooltipTimerHost {
 public:
  std::string log;
  HtmlPoint cursor;
  bool visible = false;
  bool frameChanged = false;
  TooltipTimerMachine *machine = nullptr;
  int tipBehaviour = kTipNoAutoHide;
  int tipTransparency = 0;

  void StartTimer(int id, int ms) override { Add("start" + std::to_string(id) + "/" + std::to_string(ms)); }
  void StopTimer(int id) override { Add("stop" + std::to_string(id)); }
  HtmlPoint CursorPosition() override { return cursor; }
  void LayOutTip() override {
    machine->BeginLayout(tipBehaviour, tipTransparency);
    visible = true;
    Add("layout");
  }
  void Repaint(int t) override { Add("paint" + std::to_string(t)); }
  void HideWindow() override {
    visible = false;
    Add("hide");
  }
  bool WindowVisible() override { return visible; }
  void ForgetTarget() override { Add("forget"); }
  bool AdvanceAnimations() override { return frameChanged; }

 private:
  void Add(const std::string &s) { log += (log.empty() ? "" : " ") + s; }
};

struct Rig {
  RecordingHost host;
  TooltipTimerMachine machine{&host};
  Rig() { host.machine = &machine; }
  std::string Take() {
    std::string out = host.log;
    host.log.clear();
    return out;
  }
};

constexpr int kHelp = kTipNoAutoHide;

TEST(TooltipTimers, HelpTipShowsAtOnceWithTheDefaults) {
  Rig r;
  r.machine.ShowHelpTip({10, 20}, kHelp);
  EXPECT_EQ(r.Take(), "stop256 layout");
  EXPECT_EQ(r.machine.state(), TooltipState::kShown);
  EXPECT_EQ(r.machine.transparency(), 0);
  EXPECT_TRUE(r.machine.helpMode());
}

TEST(TooltipTimers, HelpTipReplacesAVisibleOneAtOnce) {
  Rig r;
  r.machine.ShowHelpTip({10, 20}, kHelp);
  r.Take();
  r.machine.ShowHelpTip({30, 40}, kHelp);
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257 stop259 hide stop256 layout");
  EXPECT_EQ(r.machine.state(), TooltipState::kShown);
  EXPECT_TRUE(r.machine.helpMode());
  EXPECT_EQ(r.machine.lastPosition().x, 30);
}

TEST(TooltipTimers, TheOwnersHideStep) {
  Rig r;
  r.machine.ShowHelpTip({10, 20}, kHelp);
  r.Take();
  r.machine.OnTimer(kTooltipTimerHide);
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257 stop259 hide");
  EXPECT_EQ(r.machine.state(), TooltipState::kHidden);
  EXPECT_FALSE(r.machine.helpMode());
  // From hidden the step runs again (and hides an already hidden window).
  r.machine.OnTimer(kTooltipTimerHide);
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257 stop259 hide");
  EXPECT_EQ(r.machine.state(), TooltipState::kHidden);
}

TEST(TooltipTimers, FadesInAndOutInStepsOfTwenty) {
  Rig r;
  r.machine.timings.fadeInStepMs = 10;
  r.machine.timings.fadeOutStepMs = 15;
  r.host.tipTransparency = 30;
  r.machine.ShowHelpTip({10, 20}, kHelp);
  EXPECT_EQ(r.Take(), "stop256 layout start258/10");
  EXPECT_EQ(r.machine.state(), TooltipState::kAppearing);
  EXPECT_EQ(r.machine.transparency(), 100);
  for (int i = 0; i < 4; ++i) r.machine.OnTimer(kTooltipTimerFadeIn);
  EXPECT_EQ(r.Take(), "paint80 paint60 paint40 stop258 paint30");
  EXPECT_EQ(r.machine.state(), TooltipState::kShown);
  r.machine.OnTimer(kTooltipTimerHide);
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257 start259/15");
  EXPECT_EQ(r.machine.state(), TooltipState::kDisappearing);
  r.machine.OnTimer(kTooltipTimerHide);  // already disappearing: nothing more
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257");
  for (int i = 0; i < 4; ++i) r.machine.OnTimer(kTooltipTimerFadeOut);
  EXPECT_EQ(r.Take(), "paint50 paint70 paint90 stop259 hide");
  EXPECT_EQ(r.machine.state(), TooltipState::kHidden);
}

TEST(TooltipTimers, AShowWaitsForTheFadeOut) {
  Rig r;
  r.machine.timings.fadeOutStepMs = 10;
  r.machine.ShowHelpTip({10, 20}, kHelp);
  r.machine.OnTimer(kTooltipTimerHide);
  r.Take();
  r.machine.ShowHelpTip({50, 60}, kHelp);
  EXPECT_EQ(r.Take(), "");
  EXPECT_TRUE(r.machine.showPending());
  for (int i = 0; i < 5; ++i) r.machine.OnTimer(kTooltipTimerFadeOut);
  EXPECT_EQ(r.Take(), "paint20 paint40 paint60 paint80 stop259 hide stop256 layout");
  EXPECT_FALSE(r.machine.showPending());
  EXPECT_EQ(r.machine.state(), TooltipState::kShown);
}

TEST(TooltipTimers, AutopopOnlyWithoutNoAutoHide) {
  Rig r;
  r.host.tipBehaviour = 0;
  r.host.cursor = {5, 5};
  r.machine.SetLastPosition({5, 5});
  r.machine.ShowAfterDelay();
  EXPECT_EQ(r.Take(), "start256/500");
  r.machine.OnTimer(kTooltipTimerShow);
  EXPECT_EQ(r.Take(), "stop256 layout start257/5000");
  r.machine.OnTimer(kTooltipTimerHide);  // the autopop
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257 stop259 hide");
  r.machine.ShowAfterDelay();
  r.machine.OnTimer(kTooltipTimerShow);
  r.Take();
  r.machine.RestartAutopop();
  EXPECT_EQ(r.Take(), "stop257 start257/5000");
  r.machine.OnTimer(kTooltipTimerHide);
  r.Take();
  r.machine.timings.autopopMs = 0;
  r.machine.ShowAfterDelay();
  r.machine.OnTimer(kTooltipTimerShow);
  EXPECT_EQ(r.Take(), "start256/500 stop256 layout");
}

TEST(TooltipTimers, TheMouseMovedDuringTheDelay) {
  Rig r;
  r.host.tipBehaviour = 0;
  r.machine.SetLastPosition({5, 5});
  r.host.cursor = {6, 5};
  r.machine.OnTimer(kTooltipTimerShow);
  EXPECT_EQ(r.Take(), "stop256");
  EXPECT_EQ(r.machine.state(), TooltipState::kHidden);
  // A shown tip goes when the mouse has left its place.
  r.host.cursor = {5, 5};
  r.machine.OnTimer(kTooltipTimerShow);
  r.Take();
  r.host.cursor = {9, 9};
  r.machine.OnTimer(kTooltipTimerShow);
  EXPECT_EQ(r.Take(), "stop256 stop256 stop258 stop257 stop259 hide");
}

TEST(TooltipTimers, AShowUnderTheMouseWhileVisibleHidesFirstThenWaits) {
  Rig r;
  r.host.tipBehaviour = kTipShowAgain;
  r.machine.ShowHelpTip({10, 20}, kTipShowAgain);
  r.Take();
  r.machine.ShowAfterDelay();
  EXPECT_EQ(r.Take(), "stop256 stop258 stop257 stop259 forget hide start256/500");
}

TEST(TooltipTimers, HideStopsEveryStepTimer) {
  Rig r;
  r.host.tipBehaviour = kTipShowAgain;
  r.machine.ShowHelpTip({10, 20}, kHelp);
  r.Take();
  r.machine.Hide();
  EXPECT_EQ(r.Take(), "stop256 stop257 stop258 stop259 forget hide");
  r.machine.Hide();  // hidden: the window is left alone
  EXPECT_EQ(r.Take(), "stop256 stop257 stop258 stop259");
}

TEST(TooltipTimers, AnimationsRepaintOnlyAShownTip) {
  Rig r;
  r.host.frameChanged = true;
  r.machine.OnTimer(kTooltipTimerAnimate);
  EXPECT_EQ(r.Take(), "");
  r.machine.ShowHelpTip({10, 20}, kHelp);
  r.Take();
  r.machine.OnTimer(kTooltipTimerAnimate);
  EXPECT_EQ(r.Take(), "paint0");
  r.host.frameChanged = false;
  r.machine.OnTimer(kTooltipTimerAnimate);
  r.machine.OnTimer(999);
  EXPECT_EQ(r.Take(), "");
}

}  // namespace
