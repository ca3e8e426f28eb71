#include "htmltip/tooltip_timers.h"

namespace v7::htmltip {

void TooltipTimerMachine::BeginLayout(int behaviour, int transparency) {
  behaviour_ = behaviour;
  tipTransparency_ = transparency < 0 ? 0 : transparency > 100 ? 100 : transparency;
  transparency_ = FadesIn() ? 100 : tipTransparency_;
}

void TooltipTimerMachine::ShowHelpTip(const HtmlPoint &anchor, int behaviour) {
  position_ = anchor;
  pending_ = false;
  if (state_ == TooltipState::kAppearing) host_->StopTimer(kTooltipTimerFadeIn);
  if (state_ == TooltipState::kAppearing || state_ == TooltipState::kShown) HideStep();
  helpMode_ = true;
  behaviour_ = behaviour;
  if (state_ != TooltipState::kHidden) {
    // The old tip is still fading out: its last step shows this one.
    pending_ = true;
    pendingWithDelay_ = false;
  } else {
    ShowStep();
  }
}

void TooltipTimerMachine::ShowAfterDelay() {
  if (state_ != TooltipState::kHidden) {
    // Marked first: without fading the hide step ends at once and must find the show waiting.
    pending_ = true;
    pendingWithDelay_ = true;
    HideStep();
    return;
  }
  host_->StartTimer(kTooltipTimerShow, timings.initialDelayMs);
}

void TooltipTimerMachine::OnTimer(int id) {
  switch (id) {
    case kTooltipTimerShow: ShowStep(); break;
    case kTooltipTimerHide: HideStep(); break;
    case kTooltipTimerFadeIn: FadeInStep(); break;
    case kTooltipTimerFadeOut: FadeOutStep(); break;
    case kTooltipTimerAnimate:
      if (host_->WindowVisible() && state_ == TooltipState::kShown && host_->AdvanceAnimations())
        host_->Repaint(transparency_);
      break;
    default: break;
  }
}

void TooltipTimerMachine::Hide() {
  for (int id = kTooltipTimerShow; id <= kTooltipTimerFadeOut; ++id) host_->StopTimer(id);
  state_ = TooltipState::kHidden;
  helpMode_ = false;
  if (host_->WindowVisible()) {
    if (behaviour_ & kTipShowAgain) host_->ForgetTarget();
    host_->HideWindow();
  }
}

void TooltipTimerMachine::RestartAutopop() {
  host_->StopTimer(kTooltipTimerHide);
  StartAutopop();
}

void TooltipTimerMachine::StartAutopop() {
  if (timings.autopopMs != 0 && !(behaviour_ & kTipNoAutoHide)) host_->StartTimer(kTooltipTimerHide, timings.autopopMs);
}

void TooltipTimerMachine::ShowStep() {
  host_->StopTimer(kTooltipTimerShow);
  const HtmlPoint point = helpMode_ ? position_ : host_->CursorPosition();
  if (point == position_) {
    if (state_ != TooltipState::kHidden) return;
    state_ = TooltipState::kAppearing;
    host_->LayOutTip();
    if (FadesIn()) {
      host_->StartTimer(kTooltipTimerFadeIn, timings.fadeInStepMs);
    } else {
      state_ = TooltipState::kShown;
      StartAutopop();
    }
    return;
  }
  // The mouse moved on during the delay: whatever is on its way in goes.
  if (state_ == TooltipState::kAppearing) {
    host_->StopTimer(kTooltipTimerFadeIn);
    HideStep();
  } else if (state_ == TooltipState::kShown) {
    HideStep();
  }
}

void TooltipTimerMachine::HideStep() {
  host_->StopTimer(kTooltipTimerShow);
  host_->StopTimer(kTooltipTimerFadeIn);
  host_->StopTimer(kTooltipTimerHide);
  if (state_ == TooltipState::kDisappearing) return;
  state_ = TooltipState::kDisappearing;
  if (FadesOut()) {
    host_->StartTimer(kTooltipTimerFadeOut, timings.fadeOutStepMs);
  } else {
    transparency_ = 100;
    FadeOutStep();
  }
}

void TooltipTimerMachine::FadeInStep() {
  transparency_ = transparency_ <= kTooltipFadeStep ? 0 : transparency_ - kTooltipFadeStep;
  if (transparency_ <= tipTransparency_) {
    transparency_ = tipTransparency_;
    host_->StopTimer(kTooltipTimerFadeIn);
    state_ = TooltipState::kShown;
    StartAutopop();
  }
  host_->Repaint(transparency_);
}

void TooltipTimerMachine::FadeOutStep() {
  transparency_ = transparency_ >= 100 - kTooltipFadeStep ? 100 : transparency_ + kTooltipFadeStep;
  if (transparency_ < 100) {
    host_->Repaint(transparency_);
    return;
  }
  host_->StopTimer(kTooltipTimerFadeOut);
  if (behaviour_ & kTipShowAgain) host_->ForgetTarget();
  host_->HideWindow();
  state_ = TooltipState::kHidden;
  if (pending_) {
    pending_ = false;
    if (pendingWithDelay_) {
      host_->StartTimer(kTooltipTimerShow, timings.initialDelayMs);
    } else {
      ShowStep();
    }
  } else {
    helpMode_ = false;
  }
}

}  // namespace v7::htmltip
