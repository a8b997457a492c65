/* Where the program's text goes: see console.c. */
#ifndef CONSOLE_H
#define CONSOLE_H

/* Starts the text afresh: .bss is not loaded, so nothing there may be taken as cleared. */
void console_begin(void);
void console_putc(char c);
/* Ends the text (a NUL after it in the output buffer). */
void console_end(void);

#endif
