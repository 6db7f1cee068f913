#include "app/optiondialog.h"

#include "record/limitalarm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

namespace {
constexpr int kLargest = std::numeric_limits<int>::max();

template<typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLineEdit *limitEdit(const char *name)
{
    auto *edit = named(new QLineEdit, name);
    auto *validator = new QDoubleValidator(edit);
    validator->setLocale(QLocale::c());
    edit->setValidator(validator);
    return edit;
}

QSpinBox *spinBox(const char *name, int minimum)
{
    auto *box = named(new QSpinBox, name);
    box->setRange(minimum, kLargest);
    box->setSingleStep(1);
    return box;
}
} // namespace

OptionDialog::OptionDialog(bool fixedLanguage, QWidget *parent)
    : QDialog(parent)
    , fixedLanguage(fixedLanguage)
    , sbSamplePoints(spinBox("sbSamplePoints", 1))
    , sbSampleRate(spinBox("sbSampleRate", 0))
    , chkSkipRepeat(named(new QCheckBox, "chkSkipRepeat"))
    , chkInfinite(named(new QCheckBox(tr("Infinite")), "chkInfinite"))
    , chkReconnect(named(new QCheckBox, "chkReconnect"))
    , leMqttUrl(named(new QLineEdit, "leMqttUrl"))
    , leMqttName(named(new QLineEdit, "leMqttName"))
    , leLowLimit(limitEdit("leLowLimit"))
    , leHighLimit(limitEdit("leHighLimit"))
    , lblLimitHint(named(new QLabel(tr("The low limit is above the high limit: every reading "
                                       "would raise an alarm.")),
                         "lblLimitHint"))
    , btnOk(named(new QPushButton(tr("Ok")), "btnOk"))
    , btnCancel(named(new QPushButton(tr("Cancel")), "btnCancel"))
    , cbbLanguage(named(new QComboBox(this), "cbbLanguage"))
{
    setWindowTitle(tr("Options"));
    // Milliseconds; the unit is the same in every language.
    sbSampleRate->setSuffix(QStringLiteral("mS"));
    cbbLanguage->addItem(tr("English"));
    cbbLanguage->addItem(tr("Chinese"));
    buildLayout();

    // The items are in place before this, so building the dialog raises no language message.
    connect(cbbLanguage, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &OptionDialog::on_cbbLanguage_currentIndexChanged);
    connect(chkInfinite, &QCheckBox::toggled, this, &OptionDialog::on_infinite_toggled);
    connect(btnOk, &QPushButton::clicked, this, &OptionDialog::slotBtnClicked);
    connect(btnCancel, &QPushButton::clicked, this, &OptionDialog::slotBtnClicked);
    for (QLineEdit *limit : {leLowLimit, leHighLimit})
        connect(limit, &QLineEdit::textChanged, this, &OptionDialog::checkLimits);
    checkLimits();
}

OptionDialog::~OptionDialog() = default;

void OptionDialog::buildLayout()
{
    auto *grid = new QGridLayout;
    const auto addLabel = [grid](const QString &text, int row) {
        grid->addWidget(new QLabel(text), row, 0, Qt::AlignRight);
    };
    int row = 0;
    if (!fixedLanguage) {
        addLabel(tr("Language"), 0);
        grid->addWidget(cbbLanguage, 0, 1);
        grid->addWidget(new QLabel, 1, 1);
        row = 2;
    } else {
        // Outside the layout the box still carries the language index, but is never shown.
        cbbLanguage->hide();
    }
    addLabel(tr("Sample points"), row);
    grid->addWidget(sbSamplePoints, row, 1);
    grid->addWidget(chkInfinite, row, 2);
    addLabel(tr("Sample rate"), row + 1);
    grid->addWidget(sbSampleRate, row + 1, 1);
    addLabel(tr("Skip repeat reading"), row + 2);
    grid->addWidget(chkSkipRepeat, row + 2, 1);
    addLabel(tr("Reconnect a lost link"), row + 3);
    grid->addWidget(chkReconnect, row + 3, 1);
    addLabel(tr("Low limit"), row + 4);
    grid->addWidget(leLowLimit, row + 4, 1);
    addLabel(tr("High limit"), row + 5);
    grid->addWidget(leHighLimit, row + 5, 1);
    lblLimitHint->setWordWrap(true);
    grid->addWidget(lblLimitHint, row + 6, 1, 1, 2);
    addLabel(tr("MQTT broker"), row + 7);
    leMqttUrl->setPlaceholderText(tr("mqtt://host/prefix; empty: off"));
    grid->addWidget(leMqttUrl, row + 7, 1, 1, 2);
    addLabel(tr("Meter name"), row + 8);
    grid->addWidget(leMqttName, row + 8, 1, 1, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

void OptionDialog::setLanguageIndex(int index)
{
    initialLanguageIndex = index;
    currentLanguageIndex = index;
    cbbLanguage->setCurrentIndex(index);
}

int OptionDialog::languageIndex() const
{
    return currentLanguageIndex;
}

void OptionDialog::slotBtnClicked()
{
    if (sender() == btnOk)
        accept();
    else
        reject();
}

void OptionDialog::on_infinite_toggled(bool checked)
{
    sbSamplePoints->setEnabled(!checked);
}

void OptionDialog::checkLimits()
{
    // Equal limits are allowed: a reading on a limit is inside.
    const std::optional<double> low = LimitAlarm::parse(leLowLimit->text());
    const std::optional<double> high = LimitAlarm::parse(leHighLimit->text());
    const bool inOrder = !low || !high || *low <= *high;
    btnOk->setEnabled(inOrder);
    lblLimitHint->setVisible(!inOrder);
}

void OptionDialog::on_cbbLanguage_currentIndexChanged(int index)
{
    currentLanguageIndex = index;
    if (currentLanguageIndex != initialLanguageIndex)
        QMessageBox::information(this, QString(),
                                 tr("Please restart application for translation to take effect."));
}
