// Printer control commands: fixed configuration blocks (and the FEED form)
// sent on the current connection or on a slot. They neither read nor change
// the form workspace. The returned texts belong to the library.
#include "qovlib.h"

#include <cstdio>

#include "export_guard.h"
#include "reading/reply_search.h"

namespace {

constexpr char kFormFeed[] = "~CREATE;FEED;X\r\nEND\r\n~EXECUTE;FEED\r\n~NORMAL\r\n";
constexpr char kReset[] = "!QOV_SETUP\r\nCONFIG-RESET;\r\nQOV_END\r\n";
constexpr char kGapDetect[] =
    "!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nCONFIG-SETMENU;0;runcalibrate\r\nQOV_END\r\n";
constexpr char kBlackLineDetect[] =
    "!QOV_SETUP\r\nCONFIG-SETMENU;1;mediasensor\r\nCONFIG-SETMENU;0;runcalibrate\r\nQOV_END\r\n";
constexpr char kRfidCalibration[] = "!QOV_SETUP\r\nRFID-RFID_CAL;\r\nQOV_END\r\n";
// The printer ends its calibration answer with the block's closing line.
constexpr char kRfidAnswerEnd[] = "QOV_END\r\n";

constexpr std::size_t kSensorBufferSize = 1024;

const char* sent(const char* text) {
    sendcommand(text);
    return text;
}

// sendcommand_mult leaves the text as it is; its signature is not const.
const char* sentOn(int slot, const char* text) {
    sendcommand_mult(slot, const_cast<char*>(text));
    return text;
}

char* sensorText(char (&buffer)[kSensorBufferSize], int value) {
    std::snprintf(buffer, sizeof buffer, "%s%d%s", "!QOV_SETUP\r\nCONFIG-SETMENU;", value,
                  ";mediasensor\r\nQOV_END\r\n");
    return buffer;
}

}  // namespace

const char* QOVA_FORMFEED(void) {
    return qov::noThrow<const char*>(nullptr, [&] { return sent(kFormFeed); });
}
const char* QOVA_FORMFEED_Mult(int slot) {
    return qov::noThrow<const char*>(nullptr, [&] { return sentOn(slot, kFormFeed); });
}

const char* QOVA_PrinterReset(void) {
    return qov::noThrow<const char*>(nullptr, [&] { return sent(kReset); });
}
char* QOVA_PrinterReset_Mult(int slot) {
    return qov::noThrow<char*>(nullptr, [&] { return const_cast<char*>(sentOn(slot, kReset)); });
}

const char* QOVA_GAPDETECT(void) {
    return qov::noThrow<const char*>(nullptr, [&] { return sent(kGapDetect); });
}
const char* QOVA_GAPDETECT_Mult(int slot) {
    return qov::noThrow<const char*>(nullptr, [&] { return sentOn(slot, kGapDetect); });
}

const char* QOVA_BLINEDETECT(void) {
    return qov::noThrow<const char*>(nullptr, [&] { return sent(kBlackLineDetect); });
}
const char* QOVA_BLINEDETECT_Mult(int slot) {
    return qov::noThrow<const char*>(nullptr, [&] { return sentOn(slot, kBlackLineDetect); });
}

// The value is not checked; the printer judges it.
const char* QOVA_SETSENSOR(int value) {
    return qov::noThrow<const char*>(nullptr, [&]() -> const char* {
        static char buffer[kSensorBufferSize];
        return sent(sensorText(buffer, value));
    });
}

const char* QOVA_SETSENSOR_Mult(int slot, int value) {
    return qov::noThrow<const char*>(nullptr, [&]() -> const char* {
        static char buffer[kSensorBufferSize];
        return sentOn(slot, sensorText(buffer, value));
    });
}

const char* QOVA_RFIDAUTOCALIBRATION(void) {
    return qov::noThrow<const char*>(qov::kFailedText, [] {
        sent(kRfidCalibration);
        return QOVA_Read(kRfidAnswerEnd);
    });
}

// The answer is read from the current connection: there is no slot read.
const char* QOVA_RFIDAUTOCALIBRATION_Mult(int slot) {
    return qov::noThrow<const char*>(qov::kFailedText, [&] {
        sentOn(slot, kRfidCalibration);
        return QOVA_Read(kRfidAnswerEnd);
    });
}
