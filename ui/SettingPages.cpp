#include "ui/SettingPages.h"

#include <QTreeWidget>
#include <QWidget>

#include "plugin/system/SystemUiCalls.h"

namespace tarnix {

TSettingPages::TSettingPages(QWidget* parent) {
  if (const THCPluginSystem* system = SystemPlugin()) {
    for (const THCSettingPage* page : system->SettingPages()) pages_.push_back(*page);
  }
  tvSetting_ = new QTreeWidget(parent);
  tvSetting_->setObjectName("tvSetting");
  tvSetting_->setHeaderHidden(true);
  pluginNode_ = new QTreeWidgetItem(tvSetting_, {QString::fromUtf8("プラグイン")});
  for (size_t i = 0; i < pages_.size(); ++i) {
    const std::string& caption = pages_[i].Caption;
    auto* node = new QTreeWidgetItem(
        pluginNode_, {QString::fromUtf8(caption.data(), static_cast<int>(caption.size()))});
    node->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
  }
  pluginNode_->setExpanded(true);
  pnlPlugin_ = new QWidget(parent);
  pnlPlugin_->setObjectName("pnlPlugin");
  connect(tvSetting_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentChanged(current); });
}

void TSettingPages::OnCurrentChanged(QTreeWidgetItem* current) {
  const intptr_t window = reinterpret_cast<intptr_t>(pnlPlugin_);
  if (shown_ != nullptr) HideSettingPage(shown_, window);
  shown_ = nullptr;
  if (current == nullptr || current->parent() != pluginNode_) return;
  shown_ = pages_.at(current->data(0, Qt::UserRole).toULongLong()).Proc;
  ShowSettingPage(shown_, window);
}

void TSettingPages::Finish(bool confirmed) {
  if (shown_ != nullptr) HideSettingPage(shown_, reinterpret_cast<intptr_t>(pnlPlugin_));
  shown_ = nullptr;
  for (const THCSettingPage& page : pages_) ApplySettingPage(page.Proc, confirmed);
}

}  // namespace tarnix
