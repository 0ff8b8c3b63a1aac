#include "ui/QtPorts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/startup/StartupTexts.h"
#include "ui/SettingPages.h"

namespace tarnix {
namespace {

bool dialogsRefused = false;  // main thread only

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// The answer of a box closed without a button.
int CautiousAnswer(unsigned type) {
  switch (type & kMbButtonMask) {
    case kMbYesNo: return kIdNo;
    case kMbOkCancel: return kIdCancel;
    default: return kIdOk;
  }
}

QMessageBox::Icon IconOf(unsigned type) {
  switch (type & kMbIconMask) {
    case kMbIconError: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconWarning: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

int TQtMessageBoxPort::ShowMessageBox(const std::string& text, const std::string& caption,
                                      unsigned type) {
  if (dialogsRefused) return CautiousAnswer(type);
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton escape = QMessageBox::Ok;
  switch (type & kMbButtonMask) {
    case kMbOkCancel:
      buttons = QMessageBox::Ok | QMessageBox::Cancel;
      escape = QMessageBox::Cancel;
      break;
    case kMbYesNo:
      buttons = QMessageBox::Yes | QMessageBox::No;
      escape = QMessageBox::No;
      break;
    default:
      break;
  }
  // Owned by the active window, like every box of the program.
  QMessageBox box(IconOf(type), FromUtf8(caption), FromUtf8(text), buttons,
                  QApplication::activeWindow());
  box.setEscapeButton(escape);
  const int answer = box.exec();
  switch (answer) {
    case QMessageBox::Ok: return kIdOk;
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    case QMessageBox::Cancel: return kIdCancel;
    default: return CautiousAnswer(type);
  }
}

std::string TQtFirstRunDialogs::SelectLanguage(const std::vector<std::string>& languages,
                                               const std::string& current) {
  if (dialogsRefused) return current;
  // TfrmSelLang runs before a language is chosen, so its texts are its own.
  QDialog dialog;
  dialog.setObjectName("TfrmSelLang");
  dialog.setWindowTitle(kApplicationTitle);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel("Select the language.", &dialog));
  auto* cbLang = new QComboBox(&dialog);
  cbLang->setObjectName("cbLang");
  for (const std::string& language : languages) cbLang->addItem(FromUtf8(language));
  cbLang->setCurrentIndex(cbLang->findText(FromUtf8(current)));
  layout->addWidget(cbLang);
  auto* btnOK = new QPushButton("OK", &dialog);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  QObject::connect(btnOK, &QPushButton::clicked, &dialog, &QDialog::accept);
  layout->addWidget(btnOK);
  dialog.exec();
  return cbLang->currentIndex() < 0 ? current : cbLang->currentText().toStdString();
}

TLoginResult TQtFirstRunDialogs::Login(const std::string& name, const std::string& pass) {
  if (dialogsRefused) return {};
  QDialog dialog;
  dialog.setObjectName("TfrmLogin");
  dialog.setWindowTitle(kApplicationTitle);
  auto* layout = new QFormLayout(&dialog);
  auto* leName = new QLineEdit(FromUtf8(name), &dialog);
  leName->setObjectName("leName");
  leName->setMaxLength(32);
  auto* lePass = new QLineEdit(FromUtf8(pass), &dialog);
  lePass->setObjectName("lePass");
  lePass->setMaxLength(32);
  lePass->setEchoMode(QLineEdit::Password);
  auto* cbUseService = new QCheckBox("Use the connection service", &dialog);
  cbUseService->setObjectName("cbUseService");
  cbUseService->setChecked(true);
  layout->addRow("ID", leName);
  layout->addRow("Password", lePass);
  layout->addRow(cbUseService);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("Button1");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("Button2");
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    if (!leName->text().trimmed().isEmpty()) dialog.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);

  TLoginResult result;
  if (dialog.exec() != QDialog::Accepted) return result;
  result.result = kIdOk;
  result.name = leName->text().toStdString();
  result.pass = lePass->text().toStdString();
  result.enabled = cbUseService->isChecked();
  return result;
}

int TQtSettingsDialog::ShowSettings() {
  if (dialogsRefused) return kIdCancel;
  QDialog dialog;
  dialog.setObjectName("TfrmSetting");
  dialog.setWindowTitle(kApplicationTitle);
  auto* layout = new QVBoxLayout(&dialog);
  // The plugins' setting pages.
  TSettingPages pages(&dialog);
  auto* body = new QHBoxLayout();
  body->addWidget(pages.Tree());
  body->addWidget(pages.PageWindow(), 1);
  layout->addLayout(body, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  pages.Finish(confirmed);
  return confirmed ? kIdOk : kIdCancel;
}

bool DialogsRefused() { return dialogsRefused; }

void RefuseDialogs() {
  dialogsRefused = true;
  // Each rejection takes its dialog off the modal stack; the bound guards
  // against a modal widget that refuses to go.
  for (int i = 0; i < 32; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
}

}  // namespace tarnix
