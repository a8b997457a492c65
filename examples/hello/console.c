/* The program's text output.
 *
 * Without a console device of its own the program writes its text into `output`, a buffer in
 * its data segment, ended by a NUL: after it has run, the monitor's memory dump shows it
 * (`md ADDRESS 80`, ADDRESS from `m68k-linux-gnu-nm hello.elf | grep output`).
 *
 * A board whose console UART the program may drive itself: build with
 *   make example-elf EXAMPLE_CFLAGS='-DCONSOLE_DATA=0x... -DCONSOLE_STATUS=0x... -DCONSOLE_READY=0x04'
 * (the UART's data register, its status register, and the status bit that says it can take a
 * byte), and each character goes to the line as well. */

#include "console.h"

#define OUTPUT_SIZE 256

char output[OUTPUT_SIZE];
static unsigned used;

void console_begin(void) { used = 0; }

void console_putc(char c) {
#ifdef CONSOLE_DATA
    volatile unsigned char* const data = (volatile unsigned char*)(CONSOLE_DATA);
    volatile unsigned char* const status = (volatile unsigned char*)(CONSOLE_STATUS);
    while (!(*status & (CONSOLE_READY))) {
    }
    *data = (unsigned char)c;
#endif
    if (used + 1 < OUTPUT_SIZE) output[used++] = c;
}

void console_end(void) { output[used] = '\0'; }
