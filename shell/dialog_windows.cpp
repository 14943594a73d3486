#include "dialog_windows.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>

#include <array>
#include <string>

#include "dialogs.h"

namespace talvane {

namespace {

// Layout of the Payoffs dialog, in pixels.
constexpr int kDialogWidth = 640;
constexpr int kDialogHeight = 112;
constexpr int kLabelSize = 12;   // font size of the labels and fields
constexpr int kFieldX = 448;     // the labels end just left of here
constexpr int kFieldWidth = 72;
constexpr int kFieldHeight = 22;
constexpr int kFieldPitch = 24;
constexpr int kFieldTop = 10;
constexpr int kButtonX = 544;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 24;

class PayoffsDialog {
public:
    explicit PayoffsDialog(const PayoffFields& fields);
    // Shows the dialog and waits; true when it ended with OK.
    bool run();
    const PayoffFields& values() const { return values_; }

private:
    static void onOk(Fl_Widget*, void* dialog);
    static void onCancel(Fl_Widget*, void* dialog);
    // Reads every field in order; on the first that fails tells the user and
    // gives it the focus with its text selected.
    bool acceptFields();

    Fl_Double_Window window_{kDialogWidth, kDialogHeight, kPayoffsCaption};
    // Plain text fields: a field that filtered what is typed (Fl_Int_Input drops
    // a ".") would turn 2.5 into 25 without a word; OK refuses it instead.
    std::array<Fl_Input*, 4> inputs_{};
    PayoffFields values_{};
    bool accepted_ = false;
};

PayoffsDialog::PayoffsDialog(const PayoffFields& fields) : values_(fields) {
    window_.begin();
    for (int i = 0; i < 4; ++i) {
        const int y = kFieldTop + kFieldPitch * i;
        auto* label = new Fl_Box(8, y, kFieldX - 14, kFieldHeight, kPayoffLabels[i]);
        label->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
        label->labelsize(kLabelSize);
        inputs_[i] = new Fl_Input(kFieldX, y, kFieldWidth, kFieldHeight);
        inputs_[i]->textsize(kLabelSize);
        inputs_[i]->value(std::to_string(fields[i]).c_str());
    }
    auto* ok = new Fl_Return_Button(kButtonX, kFieldTop, kButtonWidth, kButtonHeight, "OK");
    ok->callback(onOk, this);
    auto* cancel = new Fl_Button(kButtonX, kFieldTop + 30, kButtonWidth, kButtonHeight, "Cancel");
    cancel->callback(onCancel, this);
    window_.end();
    window_.callback(onCancel, this);  // the close box and Escape cancel
    window_.set_modal();
}

bool PayoffsDialog::run() {
    window_.hotspot(inputs_[0]);
    window_.show();
    inputs_[0]->take_focus();
    inputs_[0]->position(inputs_[0]->size(), 0);
    while (window_.shown()) Fl::wait();
    return accepted_;
}

bool PayoffsDialog::acceptFields() {
    PayoffFields read{};
    for (int i = 0; i < 4; ++i) {
        if (!parsePayoffField(inputs_[i]->value(), read[i])) {
            showAlertBox(kIntegerMessage, kIntegerMessageCaption);
            inputs_[i]->take_focus();
            inputs_[i]->position(inputs_[i]->size(), 0);  // the whole text selected
            return false;
        }
    }
    values_ = read;
    return true;
}

void PayoffsDialog::onOk(Fl_Widget*, void* data) {
    auto* dialog = static_cast<PayoffsDialog*>(data);
    if (!dialog->acceptFields()) return;
    dialog->accepted_ = true;
    dialog->window_.hide();
}

void PayoffsDialog::onCancel(Fl_Widget*, void* data) {
    auto* dialog = static_cast<PayoffsDialog*>(data);
    dialog->accepted_ = false;
    dialog->window_.hide();
}

}  // namespace

bool runPayoffsDialogWindow(PayoffFields& fields) {
    PayoffsDialog dialog(fields);
    if (!dialog.run()) return false;
    fields = dialog.values();
    return true;
}

namespace {

// Message boxes have one button, "OK".
void useOkButton() { fl_close = "OK"; }

}  // namespace

void showAlertBox(const char* text, const char* caption) {
    useOkButton();
    fl_message_title(caption);
    fl_alert("%s", text);
}

void showInformationBox(const char* text, const char* caption) {
    useOkButton();
    fl_message_title(caption);
    fl_message("%s", text);
}

}  // namespace talvane
