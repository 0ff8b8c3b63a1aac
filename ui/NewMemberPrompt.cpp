#include "ui/NewMemberPrompt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/TextFormat.h"

namespace tarnix {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

constexpr int kPromptLeft = 74;
constexpr int kPromptTop = 74;

}  // namespace

TfrmNewMember::TfrmNewMember() : QWidget(nullptr, Qt::Dialog) {
  setObjectName("frmNewMember");
  lblMsg_ = new QLabel(this);
  lblMsg_->setObjectName("lblMsg");
  lblMsg_->setWordWrap(true);
  btnAccept_ = new QPushButton(this);
  btnAccept_->setObjectName("btnAccept");
  btnAccept_->setDefault(true);
  btnDeny_ = new QPushButton(this);
  btnDeny_->setObjectName("btnDeny");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnAccept_);
  buttons->addWidget(btnDeny_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblMsg_);
  layout->addLayout(buttons);
  connect(btnAccept_, &QPushButton::clicked, this, [this] { Answer(true); });
  connect(btnDeny_, &QPushButton::clicked, this, [this] { Answer(false); });
}

std::string TfrmNewMember::Text(const std::string& key, const std::string& fallback) const {
  const std::string text = text_ ? text_("frmNewMember", key) : std::string();
  return text.empty() ? fallback : text;
}

TNewPeerPromptShown TfrmNewMember::ShowNewPeerPrompt(const std::string& userName,
                                                     std::function<void(bool accept)> answer) {
  pendingName_ = userName;
  answer_ = std::move(answer);
  TNewPeerPromptShown shown;
  shown.caption = Text("Caption", "Tarnix");
  shown.message = FormatText(Text("lblMsg", "%s wants to become a member. Accept?"), userName);
  setWindowTitle(FromUtf8(shown.caption));
  lblMsg_->setText(FromUtf8(shown.message));
  btnAccept_->setText(FromUtf8(Text("btnAccept", "Accept")));
  btnDeny_->setText(FromUtf8(Text("btnDeny", "Deny")));
  move(kPromptLeft, kPromptTop);
  show();
  raise();
  activateWindow();
  shown.window = static_cast<std::intptr_t>(winId());
  return shown;
}

void TfrmNewMember::Answer(bool accept) {
  std::function<void(bool)> answer = std::move(answer_);
  answer_ = nullptr;
  pendingName_.clear();
  hide();
  if (answer) answer(accept);
}

}  // namespace tarnix
