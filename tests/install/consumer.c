/* Opens and closes the library with no camera: the installed headers and
 * library link and behave. */
#include <stdio.h>
#include <teko32/teko32.h>
#include <teko32/teko32_ext.h>

int main(void) {
    if (InitTeko(NULL) != TEKO32_INIT_RESULT) return 1;
    if (SetBrightNess(19) != 12 || SetGamma(60) != 0) return 1;
    if (HaltTeko(0) != 1 || HaltTeko(0) != 0) return 1;
    if (TekoSetPortIo(NULL) != 1) return 1;
    puts("consumer: ok");
    return 0;
}
