/* A small program for the 68000, built with the m68k cross compiler (make example-elf) and
 * loaded with Tarvoline: tarvoline-cli run examples/hello/hello.elf, or Transfer > Load
 * Program in the window.
 *
 * It writes its greeting and a count through console_putc (console.c) and returns to the
 * monitor. Edit the text, build again, and Load Again (or Load on Rebuild) puts the new
 * program on the board. */

#include "console.h"

static const char greeting[] = "Hello from the 68000\r\n";

/* Initialised data: it travels in the program's data segment. */
static int counts_to = 5;

static void put_text(const char* text) {
    while (*text) console_putc(*text++);
}

static void put_digit(int value) { console_putc((char)('0' + value % 10)); }

/* The monitor starts the program here: the linker script puts this section first. */
__attribute__((section(".text.start"))) void _start(void) {
    console_begin();
    put_text(greeting);
    for (int i = 1; i <= counts_to; ++i) {
        put_text("count ");
        put_digit(i);
        put_text("\r\n");
    }
    console_end();
}
