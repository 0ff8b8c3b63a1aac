#pragma once
// TfrmNewMember: the prompt that asks whether an unknown peer may become a
// member. Created once and reused; it holds one request (a new one replaces
// the one still pending) and shows itself without blocking. btnAccept and
// btnDeny answer the request and hide the prompt; closing it answers nothing.
#include <functional>
#include <string>

#include <QWidget>

#include "app/startup/UiPorts.h"

class QLabel;
class QPushButton;

namespace tarnix {

class TfrmNewMember final : public QWidget, public INewPeerPromptPort {
  Q_OBJECT

 public:
  using TTextSource = std::function<std::string(const std::string& section, const std::string& key)>;

  TfrmNewMember();
  // Where the prompt's texts come from (the run's language).
  void SetTextSource(TTextSource text) { text_ = std::move(text); }

  TNewPeerPromptShown ShowNewPeerPrompt(const std::string& userName,
                                        std::function<void(bool accept)> answer) override;

  // For tests: the pending request's user name, and pressing the buttons.
  const std::string& PendingName() const { return pendingName_; }
  void Answer(bool accept);

 private:
  std::string Text(const std::string& key, const std::string& fallback) const;

  TTextSource text_;
  std::string pendingName_;
  std::function<void(bool)> answer_;  // the pending request's answer, empty when none
  QLabel* lblMsg_ = nullptr;          // owned by Qt's parent chain
  QPushButton* btnAccept_ = nullptr;
  QPushButton* btnDeny_ = nullptr;
};

}  // namespace tarnix
