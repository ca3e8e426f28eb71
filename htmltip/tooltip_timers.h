// The second-generation tooltip's show and hide steps on its timers: appearing, shown, fading and
// hidden. The machine decides; its host (the window, or a test's recorder) owns the timers, the
// cursor, the layout and the painting, so every transition runs natively without a window.
#pragma once

#include "htmltip/tooltip_geometry.h"

namespace v7::htmltip {

enum : int {
  kTooltipTimerShow = 256,
  kTooltipTimerHide = 257,
  kTooltipTimerFadeIn = 258,
  kTooltipTimerFadeOut = 259,
  kTooltipTimerAnimate = 260,
};
constexpr int kTooltipAnimatePeriodMs = 100;
constexpr int kTooltipFadeStep = 20;  // percent of transparency per fade step

enum class TooltipState { kHidden = 0, kAppearing = 1, kShown = 2, kDisappearing = 3 };

// Behaviour bits of a tip.
enum : int {
  kTipShowAgain = 0x1,     // the same target may show its tip again; forgotten once hidden
  kTipFollowMouse = 0x2,   // kept and moved with the mouse on the same target or over the tip
  kTipKeepOnTarget = 0x4,  // kept while the mouse stays on the same target
  kTipKeepOverTip = 0x8,   // kept (the autopop restarted) while the mouse moves over it
  kTipNoAutoHide = 0x10,   // never hidden by the autopop timer
};

class TooltipTimerHost {
 public:
  virtual ~TooltipTimerHost() = default;
  virtual void StartTimer(int id, int periodMs) = 0;
  virtual void StopTimer(int id) = 0;
  virtual HtmlPoint CursorPosition() = 0;
  // Lays the current tip out and shows its window (nothing for an empty text).
  virtual void LayOutTip() = 0;
  virtual void Repaint(int transparency) = 0;
  virtual void HideWindow() = 0;
  virtual bool WindowVisible() = 0;
  virtual void ForgetTarget() = 0;
  // True when an image of the text moved to its next frame.
  virtual bool AdvanceAnimations() = 0;
};

struct TooltipTimings {
  int autopopMs = 5000;
  int initialDelayMs = 500;
  int fadeInStepMs = 0;  // 0: no fading in
  int fadeOutStepMs = 0;
  bool fadeInEnabled = true;
  bool fadeOutEnabled = true;
};

class TooltipTimerMachine {
 public:
  explicit TooltipTimerMachine(TooltipTimerHost *host) : host_(host) {}

  TooltipTimings timings;

  TooltipState state() const { return state_; }
  int transparency() const { return transparency_; }
  bool helpMode() const { return helpMode_; }
  bool showPending() const { return pending_; }
  const HtmlPoint &lastPosition() const { return position_; }
  void SetLastPosition(const HtmlPoint &p) { position_ = p; }

  // Called by the host's layout: the behaviour and transparency of the tip being laid out, after
  // the defaults are filled in. The transparency starts at 100 when the tip fades in.
  void BeginLayout(int behaviour, int transparency);
  int tipBehaviour() const { return behaviour_; }

  // A help tip at `anchor`: an older tip goes first, then this one shows at once.
  void ShowHelpTip(const HtmlPoint &anchor, int behaviour);
  // A tip found under the mouse, shown after the initial delay (a visible one hides first).
  void ShowAfterDelay();
  void OnTimer(int id);
  void Hide();
  // Hiding starts when a tip is on its way in or shown; the machine's own hide step.
  void StartHiding() { OnTimer(kTooltipTimerHide); }
  // The mouse is still where the tip wants it: the autopop timer starts over.
  void RestartAutopop();

 private:
  bool FadesIn() const { return timings.fadeInEnabled && timings.fadeInStepMs != 0; }
  bool FadesOut() const { return timings.fadeOutEnabled && timings.fadeOutStepMs != 0; }
  void StartAutopop();
  void ShowStep();
  void HideStep();
  void FadeInStep();
  void FadeOutStep();

  TooltipTimerHost *host_;
  TooltipState state_ = TooltipState::kHidden;
  int transparency_ = 0;
  bool helpMode_ = false;
  bool pending_ = false;
  bool pendingWithDelay_ = false;
  HtmlPoint position_;
  int behaviour_ = 0;
  int tipTransparency_ = 0;
};

}  // namespace v7::htmltip
