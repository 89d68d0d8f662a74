// Forms composed through the DLL come out byte for byte: the seven-line
// header, a QR code, RFID tag write and read, and the logo element.
#include "harness.h"

namespace {

const char kClosing[] = "END\r\n~EXECUTE;F1\r\n~NORMAL\r\n";

// A fresh workspace and an empty form "F1"; returns its form number.
int freshForm() {
    QOV_PLAIN(QOVA_DLLinit)();
    const int form = QOV_PLAIN(QOVA_CreateForm)("F1");
    WT_CHECK_EQ(form, 0);
    return form;
}

std::string formData(int form) {
    char* text = QOV_PLAIN(QOVA_GetFormData)(form);
    WT_REQUIRE(text != nullptr);
    return text;
}

}  // namespace

WT_CASE(form_header_seven_lines) {
    auto jobSetup = QOV_PLAIN(QOVA_JobSetup);
    auto fontSetup = QOV_PLAIN(QOVA_FontSetup);
    QOV_PLAIN(QOVA_DLLinit)();
    WT_CHECK_EQ(jobSetup(1, 400), 0);
    WT_CHECK_EQ(jobSetup(3, 6), 0);
    WT_CHECK_EQ(jobSetup(7, 90), 0);
    WT_CHECK_EQ(jobSetup(7, 45), 1);  // rotation is 0, 90, 180 or 270 only
    WT_CHECK_EQ(QOV_PLAIN(QOVA_FormSetup)(1, 300), 0);
    WT_CHECK_EQ(fontSetup(1, "ON"), 0);
    WT_CHECK_EQ(fontSetup(3, "ASCII"), 0);
    WT_CHECK_EQ(QOV_PLAIN(QOVA_Scale)(203, 203), 0);
    const int form = QOV_PLAIN(QOVA_CreateForm)("LABEL1");
    WT_CHECK_EQ(form, 0);
    WT_CHECK_EQ(formData(form),
                "~NORMAL\r\n"
                "~PAPER;SIZE 400,0\r\n"
                "~PAPER;SPEED IPS 6\r\n"
                "~PAPER;ROTATE 90\r\n"
                "~CREATE;LABEL1;X;300\r\n"
                "FONT;BOLD ON;SYMSET 0\r\n"
                "SCALE;DOT;203;203\r\n"
                "END\r\n~EXECUTE;LABEL1\r\n~NORMAL\r\n");
    // The settings stay for the next form, which is numbered 1.
    WT_CHECK_EQ(QOV_PLAIN(QOVA_CreateForm)("LABEL2"), 1);
}

WT_CASE(form_qrcode_element) {
    const int form = freshForm();
    auto setBarcode = QOV_PLAIN(QOVA_SetBarcode);
    WT_CHECK_EQ(setBarcode(7, 2, "90"), 0);
    WT_CHECK_EQ(setBarcode(7, 3, "4"), 0);
    WT_CHECK_EQ(setBarcode(15, 1, "x"), 1);  // no kind 15
    WT_CHECK_EQ(QOV_PLAIN(QOVA_PrintBarcode)(form, 7, 100, 200, "ABC"), 0);
    WT_CHECK_EQ(formData(form), std::string("~CREATE;F1;X\r\n"
                                            "BARCODE\r\n"
                                            "QRCODE;CW;X4;100;200\r\n"
                                            "*ABC*\r\n"
                                            "STOP\r\n") +
                                    kClosing);
}

WT_CASE(form_rfid_write_and_verify) {
    const int form = freshForm();
    auto setupRfid = QOV_PLAIN(QOVA_SetupRFID);
    WT_CHECK_EQ(QOV_PLAIN(QOVA_WriteRFID)(form, "", "T"), 1);  // no fields yet
    WT_CHECK_EQ(setupRfid(32, 0, "", 0, "1234"), 0);
    WT_CHECK_EQ(setupRfid(64, 1, "H", 1, "00AA"), 0);
    WT_CHECK_EQ(QOV_PLAIN(QOVA_WriteRFID)(form, "", "T"), 0);
    WT_CHECK_EQ(QOV_PLAIN(QOVA_VerifyRFID)(form, "", "T", 96, "H"), 0);
    WT_CHECK_EQ(formData(form), std::string("~CREATE;F1;X\r\n"
                                            "RFWTAG;96;T\r\n"
                                            "32;D;*1234*\r\n"
                                            "64;I;H;STEP+1;*00AA*\r\n"
                                            "STOP\r\n"
                                            "RFRTAG;96;T\r\n"
                                            "96;DF1;H\r\n"
                                            "STOP\r\n"
                                            "VERIFY;DF1;H;**;*\\r\\n*\r\n") +
                                    kClosing);
}

WT_CASE(form_logo_elements) {
    const int form = freshForm();
    WT_CHECK_EQ(QOV_PLAIN(QOVA_PrintImage)(form, 50, 60, "LOGO1"), 0);
    char* copy = QOV_PLAIN(printer_Logo)(form, "LOGO1", 50, 60);
    WT_CHECK_EQ(copy, "LOGO\n50;60;LOGO1\nSTOP\n");
    WT_CHECK_EQ(formData(form), std::string("~CREATE;F1;X\r\n"
                                            "LOGO\r\n50;60;LOGO1\r\nSTOP\r\n"
                                            "LOGO\n50;60;LOGO1\nSTOP\n") +
                                    kClosing);
}
