#include "gui/ModelDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace qelta::gui {

using qelta::DialogField;
using qelta::FieldKind;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Mnemonic ampersands of the layout texts work as in the original ("&Browse"); a lone label
// without one is shown as is.
QString labelText(const DialogField& field) { return qs(field.label); }

// What a Label field shows: its value, or its caption while the value is empty.
QString staticText(const DialogField& field) {
  return field.value.empty() ? labelText(field) : qs(field.value);
}

}  // namespace

ModelDialog::ModelDialog(qelta::DialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName(qs(model.name));
  setWindowTitle(qs(model.title));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  for (const auto& field : model_.fields) openingValues_.push_back(field.value);
  build();
}

QWidget* ModelDialog::fieldWidget(std::size_t index) const {
  return index < widgets_.size() ? widgets_[index] : nullptr;
}

void ModelDialog::build() {
  auto* outer = new QVBoxLayout(this);
  QFormLayout* form = new QFormLayout;
  outer->addLayout(form);
  QButtonGroup* radios = nullptr;
  widgets_.assign(model_.fields.size(), nullptr);

  for (std::size_t i = 0; i < model_.fields.size(); ++i) {
    DialogField& field = model_.fields[i];
    const QString name = field.controlId ? QString::number(field.controlId) : qs(field.name);
    QWidget* widget = nullptr;
    QLabel* caption = nullptr;
    if (field.kind != FieldKind::Radio) radios = nullptr;

    switch (field.kind) {
      case FieldKind::Group: {
        auto* box = new QGroupBox(labelText(field), this);
        box->setObjectName(QStringLiteral("group") + name);
        outer->addWidget(box);
        form = new QFormLayout(box);
        widget = box;
        break;
      }
      case FieldKind::Label: {
        auto* label = new QLabel(staticText(field), this);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        form->addRow(label);
        widget = label;
        break;
      }
      case FieldKind::Text:
      case FieldKind::Number:
      case FieldKind::IpAddress: {
        auto* edit = new QLineEdit(qs(field.value), this);
        if (field.maxLength > 0) edit->setMaxLength(static_cast<int>(field.maxLength));
        if (field.kind == FieldKind::Number) {
          edit->setValidator(new QRegularExpressionValidator(
              QRegularExpression(QStringLiteral("[-+]?[0-9]{0,18}")), edit));
        } else if (field.kind == FieldKind::IpAddress) {
          edit->setValidator(new QRegularExpressionValidator(
              QRegularExpression(QStringLiteral("[0-9]{0,3}(\\.[0-9]{0,3}){0,3}")), edit));
        }
        connect(edit, &QLineEdit::textEdited, this, [this, i] { fieldEdited(i); });
        if (field.label.empty()) {
          form->addRow(edit);
        } else {
          caption = new QLabel(labelText(field), this);
          caption->setBuddy(edit);
          form->addRow(caption, edit);
        }
        widget = edit;
        break;
      }
      case FieldKind::Check: {
        auto* check = new QCheckBox(labelText(field), this);
        check->setChecked(field.value == "1");
        connect(check, &QCheckBox::toggled, this, [this, i] { fieldEdited(i); });
        form->addRow(check);
        widget = check;
        break;
      }
      case FieldKind::Radio: {
        if (!radios) {
          radios = new QButtonGroup(this);
          radios->setExclusive(true);
        }
        auto* radio = new QRadioButton(labelText(field), this);
        radios->addButton(radio);
        radio->setChecked(field.value == "1");
        connect(radio, &QRadioButton::toggled, this, [this, i] { fieldEdited(i); });
        form->addRow(radio);
        widget = radio;
        break;
      }
      case FieldKind::Choice: {
        auto* combo = new QComboBox(this);
        for (const auto& choice : field.choices) combo->addItem(qs(choice));
        combo->setCurrentIndex(combo->findText(qs(field.value)));
        connect(combo, &QComboBox::currentIndexChanged, this, [this, i] { fieldEdited(i); });
        if (field.label.empty()) {
          form->addRow(combo);
        } else {
          caption = new QLabel(labelText(field), this);
          caption->setBuddy(combo);
          form->addRow(caption, combo);
        }
        widget = combo;
        break;
      }
      case FieldKind::Button: {
        auto* button = new QPushButton(labelText(field), this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] {
          DialogField& f = model_.fields[i];
          if (f.onClick) f.onClick(model_);
          refreshFromModel();
        });
        form->addRow(button);
        widget = button;
        break;
      }
    }
    if (widget) {
      if (field.kind != FieldKind::Group) widget->setObjectName(QStringLiteral("field") + name);
      widget->setEnabled(field.enabled);
      widget->setVisible(field.visible);
      if (caption) caption->setVisible(field.visible);
    }
    if (caption) labels_[i] = caption;
    widgets_[i] = widget;
  }

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(qs(model_.okText), QDialogButtonBox::AcceptRole);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setDefault(true);
  if (!model_.cancelText.empty()) {
    cancel_ = buttons->addButton(qs(model_.cancelText), QDialogButtonBox::RejectRole);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
  }
  connect(ok_, &QPushButton::clicked, this, &ModelDialog::pressOk);
  if (cancel_) connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  outer->addWidget(buttons);
}

void ModelDialog::fieldEdited(std::size_t index) {
  if (refreshing_ || index >= model_.fields.size()) return;
  DialogField& field = model_.fields[index];
  QWidget* widget = widgets_[index];
  switch (field.kind) {
    case FieldKind::Text:
    case FieldKind::Number:
    case FieldKind::IpAddress:
      field.value = static_cast<QLineEdit*>(widget)->text().toStdString();
      break;
    case FieldKind::Check:
      field.value = static_cast<QCheckBox*>(widget)->isChecked() ? "1" : "0";
      break;
    case FieldKind::Radio:
      field.value = static_cast<QRadioButton*>(widget)->isChecked() ? "1" : "0";
      break;
    case FieldKind::Choice:
      field.value = static_cast<QComboBox*>(widget)->currentText().toStdString();
      break;
    default:
      return;
  }
  if (model_.onEdit) {
    model_.onEdit(model_, field.controlId);
    refreshFromModel();
  }
}

void ModelDialog::refreshFromModel() {
  refreshing_ = true;
  for (std::size_t i = 0; i < model_.fields.size() && i < widgets_.size(); ++i) {
    const DialogField& field = model_.fields[i];
    QWidget* widget = widgets_[i];
    if (!widget) continue;
    switch (field.kind) {
      case FieldKind::Label:
        static_cast<QLabel*>(widget)->setText(staticText(field));
        break;
      case FieldKind::Text:
      case FieldKind::Number:
      case FieldKind::IpAddress: {
        auto* edit = static_cast<QLineEdit*>(widget);
        if (edit->text() != qs(field.value)) edit->setText(qs(field.value));
        break;
      }
      case FieldKind::Check:
        static_cast<QCheckBox*>(widget)->setChecked(field.value == "1");
        break;
      case FieldKind::Radio:
        if (field.value == "1") static_cast<QRadioButton*>(widget)->setChecked(true);
        break;
      case FieldKind::Choice: {
        auto* combo = static_cast<QComboBox*>(widget);
        combo->setCurrentIndex(combo->findText(qs(field.value)));
        break;
      }
      case FieldKind::Group:
      case FieldKind::Button:
        break;
    }
    widget->setEnabled(field.enabled);
    widget->setVisible(field.visible);
    if (auto it = labels_.find(i); it != labels_.end()) it->second->setVisible(field.visible);
  }
  // Radio buttons the model no longer marks as chosen follow the exclusive group's state.
  for (std::size_t i = 0; i < model_.fields.size() && i < widgets_.size(); ++i) {
    if (model_.fields[i].kind == FieldKind::Radio && widgets_[i])
      model_.fields[i].value = static_cast<QRadioButton*>(widgets_[i])->isChecked() ? "1" : "0";
  }
  refreshing_ = false;
}

void ModelDialog::pressOk() {
  const std::string error = model_.Validate();
  refreshFromModel();
  if (!error.empty()) {
    const QString caption =
        qs(model_.validationCaption.empty() ? model_.title : model_.validationCaption);
    if (model_.validationErrorIcon) {
      QMessageBox::critical(this, caption, qs(error));
    } else {
      QMessageBox::warning(this, caption, qs(error));
    }
    return;
  }
  accept();
}

void ModelDialog::done(int result) {
  if (result != QDialog::Accepted) {
    // Cancel (button, Escape or the close box) leaves the model as the caller filled it.
    for (std::size_t i = 0; i < model_.fields.size() && i < openingValues_.size(); ++i)
      model_.fields[i].value = openingValues_[i];
  }
  QDialog::done(result);
}

bool ModelDialog::run(qelta::DialogModel& model, QWidget* parent) {
  ModelDialog dialog(model, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace qelta::gui
