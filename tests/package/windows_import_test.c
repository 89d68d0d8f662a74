/*
 * Linked against QOVLIB.lib, the Microsoft-format import library, by GNU ld
 * (the DLL is found by the import entries, not by libQOVLIB.dll.a). Calls
 * plain exports through their C declarations and decorated exports by the
 * import library's own symbols, which carry the Microsoft decoration: a C
 * compiler cannot spell those, so the declarations name them in assembler.
 * QOV_EXPECTED_VERSION is the version of the zip. Prints each result; exits
 * 1 on a mismatch.
 */
#include <stdio.h>
#include <string.h>

#include "qovlib.h"

#ifdef _WIN64
#define QOV_DECORATED_DLLVERSION "?dllversion@@YAPEADXZ"
#define QOV_DECORATED_FONT_BINARY "?printer_font_binary@@YAPEADHHHHPEAI@Z"
#else
#define QOV_DECORATED_DLLVERSION "?dllversion@@YAPADXZ"
#define QOV_DECORATED_FONT_BINARY "?printer_font_binary@@YAPADHHHHPAI@Z"
#endif

char* decorated_dllversion(void) __asm__("\"" QOV_DECORATED_DLLVERSION "\"");
char* decorated_font_binary(int p1, int p2, int p3, int p4, unsigned int* text)
    __asm__("\"" QOV_DECORATED_FONT_BINARY "\"");

static int failures;

static void expect_text(const char* what, const char* got, const char* want) {
    const int ok = got != NULL && strcmp(got, want) == 0;
    printf("[%s] %s\n", ok ? " OK " : "FAIL", what);
    if (!ok) {
        printf("       got \"%s\", expected \"%s\"\n", got ? got : "(null)", want);
        ++failures;
    }
}

int main(void) {
    expect_text("plain QOVA_GetDllVersion", QOVA_GetDllVersion(), "Halvendorm DLL version 1.00b1");

    QOVA_DLLinit();
    QOVA_FormSetup(1, 300);
    const int form = QOVA_CreateForm("WIN");
    const char* text = QOVA_GetFormData(form);
    expect_text("plain QOVA_CreateForm + QOVA_GetFormData",
                text && strstr(text, "~CREATE;WIN;X;300\r\n") ? "~CREATE;WIN;X;300" : text,
                "~CREATE;WIN;X;300");

    expect_text("decorated " QOV_DECORATED_DLLVERSION, decorated_dllversion(), QOV_EXPECTED_VERSION);
    expect_text("decorated " QOV_DECORATED_FONT_BINARY, decorated_font_binary(1, 2, 3, 4, NULL),
                "ALPHA\r\n1;2;3;4;**\r\nSTOP");

    printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}
