/* Uses an installed libqovlib: a plain export with arguments and a returned
 * block, the fixed version texts, and (through cpp_exports.cpp) a function
 * of the header's C++ section. Prints what it saw; exits 1 on a mismatch. */
#include <qovlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char* consumer_dllversion(void);

static int failures;

static void expect_text(const char* what, const char* got, const char* want) {
    if (got == NULL || strcmp(got, want) != 0) {
        fprintf(stderr, "consumer: %s is \"%s\", expected \"%s\"\n", what, got ? got : "(null)", want);
        ++failures;
    }
}

int main(void) {
    expect_text("QOVA_GetDllVersion()", QOVA_GetDllVersion(), "Halvendorm DLL version 1.00b1");
    expect_text("dllversion()", consumer_dllversion(), QOVLIB_PACKAGE_VERSION);

    QOVA_DLLinit();
    QOVA_FormSetup(1, 300);
    const int form = QOVA_CreateForm("PKG");
    char* text = QOVA_GetFormData(form);
    if (form != 0 || text == NULL || strstr(text, "~CREATE;PKG;X;300\r\n") == NULL) {
        fprintf(stderr, "consumer: form %d composed as \"%s\"\n", form, text ? text : "(null)");
        ++failures;
    }
    free(text); /* a block the caller owns */

    printf("consumer: qovlib %s, %d failure(s)\n", consumer_dllversion(), failures);
    return failures == 0 ? 0 : 1;
}
