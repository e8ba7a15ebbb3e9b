/*
 * kovra.h - reader access library for the maker's HF RFID readers.
 *
 * Conventions that hold for every function below:
 *
 *  - A port is named by the int handle that KOVRA_OpenPort returned. Serial ports get the smallest
 *    free number from 1 up, HID ports the smallest free number above 10000, LAN ports the smallest
 *    free number above 20000. 0 and negative values name no port.
 *  - Three result conventions are used, stated in one line at each function:
 *      success/failure  0 on success, -1 on failure;
 *      data             the number of bytes copied to the caller's buffer, or -1;
 *      list             NUL-terminated strings one after the other and one more NUL at the end;
 *                       the result is the number of bytes used, including that final NUL
 *                       (1 for an empty list); a string that does not fit ends the list.
 *  - A failing call on a known port leaves its cause in the port's last error
 *    (KOVRA_GetLastError, KOVRA_GetErrorText). A handle that names no port makes a function return
 *    its failure value at once; no code is stored anywhere, and KOVRA_GetLastError answers
 *    KOVRA_ERR_PORT_INVALID for it.
 *  - The last error is reset to 0 by the next command sent on the port; the error of a failed call
 *    stays readable until then.
 *  - When the answer is longer than the caller's buffer, the call fails with KOVRA_ERR_BUFFER_SMALL
 *    and the buffer is left untouched.
 *  - Texts are UTF-8.
 *  - The functions are meant to be called from one thread (the application's user-interface
 *    thread). While a call waits for a reader's reply it calls the wait handler installed with
 *    KOVRA_SetWaitHandler; without a handler it sleeps until the reply or the timeout.
 *  - No C++ exception ever leaves a function of this header.
 *
 * Setting KOVRA_FRAME_TRACE=1 in the environment prints every frame sent and received, in hex,
 * on stderr.
 */
#ifndef KOVRA_H
#define KOVRA_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KOVRA_API __attribute__((visibility("default")))
#else
#define KOVRA_API
#endif

/* Error codes the library sets itself (the reader's and the card's own codes come on top; every
 * code has a text, see KOVRA_GetErrorText). */
#define KOVRA_ERR_NONE 0
#define KOVRA_ERR_PORT_INVALID 3     /* the handle names no open port */
#define KOVRA_ERR_TIMEOUT 4          /* no complete reply within the timeout */
#define KOVRA_ERR_BUFFER_SMALL 5     /* the caller's buffer is too small for the answer */
#define KOVRA_ERR_WRONG_PARAMETER 7  /* an argument the reader cannot take */
#define KOVRA_ERR_NO_DATA 8          /* a command without any bytes */
#define KOVRA_ERR_WRONG_LENGTH 9     /* a reply of the wrong length */
#define KOVRA_ERR_CHECKSUM 10        /* the BCC or CRC of a reply is wrong */
#define KOVRA_ERR_EMPTY_REPLY 12     /* a reply of no bytes */
#define KOVRA_ERR_MODE_INVALID 13    /* an invalid mode argument */
#define KOVRA_ERR_MORE_DATA 32       /* the reader has more data; the call itself succeeded */
#define KOVRA_DESFIRE_BASE 0x10000   /* a DESFire card status s is stored as 0x10000 + s */

/* Languages of KOVRA_GetErrorText: 1 is German, every other value English. */
#define KOVRA_LANG_GERMAN 1
#define KOVRA_LANG_ENGLISH 0

/* ------------------------------------------------------------------------------------------ */
/* Errors                                                                                     */

/* The last error of the port: 0 for none, 1..254 library, reader, ISO and MIFARE codes,
 * 0x10000 + s DESFire codes. KOVRA_ERR_PORT_INVALID (3) for a handle that names no port. */
KOVRA_API int KOVRA_GetLastError(int handle);

/* Copies the text of the port's last error in the given language (1 = German, anything else =
 * English) into buffer: min(size, text length) bytes, WITHOUT a terminating NUL. Result: the number
 * of bytes copied; 0 when buffer is NULL or size is not positive. An unknown handle gives the text
 * of code 3. Codes without a text read "Unknown error #XX" ("Unbekannter Fehler #XX"). */
KOVRA_API int KOVRA_GetErrorText(int handle, int language, char *buffer, int size);

/* ------------------------------------------------------------------------------------------ */
/* Waiting for replies                                                                        */

/* Events passed to the wait handler. */
#define KOVRA_WAIT_BEGIN 0 /* a wait for a reply starts */
#define KOVRA_WAIT_TICK 1  /* the wait goes on; at least every 10 ms */
#define KOVRA_WAIT_END 2   /* the wait is over (reply complete or timed out) */

/* Called on the waiting thread while the library waits for a reader's reply: once with
 * KOVRA_WAIT_BEGIN, then with KOVRA_WAIT_TICK at least every 10 ms, and once with KOVRA_WAIT_END.
 * background_mode is the port's background mode (KOVRA_SetBackgroundMode): a GUI processes its
 * events on each call and, when background_mode is 0, keeps its active window disabled between
 * BEGIN and END. The handler must not send a command on the same port. */
typedef void (*KOVRA_WaitHandler)(int event, int handle, int background_mode, void *context);

/* Installs the process-wide wait handler and its context pointer; NULL removes it (waits then
 * call nothing and sleep until the reply or the timeout). Result: 0. */
KOVRA_API int KOVRA_SetWaitHandler(KOVRA_WaitHandler handler, void *context);

/* Sets the port's background mode (on != 0): passed to the wait handler so that the application
 * leaves its windows alone during waits. Result: 1, or -1 for an unknown handle. */
KOVRA_API int KOVRA_SetBackgroundMode(int handle, int on);

#ifdef __cplusplus
}
#endif

#endif /* KOVRA_H */
