/*
 * kovra.h - reader access library for the maker's HF RFID readers.
 *
 * Conventions that hold for every function below:
 *
 *  - A port is named by the int handle that KOVRA_OpenPort returned. Serial, FTDI (D2XX) and
 *    Bluetooth ports get the smallest free number from 1 up, HID ports the smallest free number
 *    above 10000, LAN ports the smallest free number above 20000. 0 and negative values name no
 *    port.
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
 *    and the buffer is left untouched (except KOVRA_DESFireGetFileSettings and
 *    KOVRA_DESFireReadData, which copy at most the buffer's size and return the count copied).
 *  - Texts are UTF-8.
 *  - The functions are meant to be called from one thread (the application's user-interface
 *    thread). While a call waits for a reader's reply it calls the wait handler installed with
 *    KOVRA_SetWaitHandler; without a handler it sleeps until the reply or the timeout.
 *  - Threads that share one handle are served one command exchange (command and reply) at a time:
 *    a second thread waits until the first one's exchange has ended (calling the wait handler
 *    meanwhile), so neither takes the other's reply. A call that needs several exchanges (an
 * authentication, a DESFire session) is not protected as a whole; keep those on one thread per
 * handle.
 *  - What a port keeps of received bytes is bounded: while no command waits it keeps at most one
 *    reply frame (260 bytes), while one waits at most 64 KiB; the rest is dropped (a trace line
 *    says so), so a reader or peer that never stops sending costs no more memory than that.
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
#define KOVRA_ERR_PORT_INVALID 3    /* the handle names no open port */
#define KOVRA_ERR_TIMEOUT 4         /* no complete reply within the timeout */
#define KOVRA_ERR_BUFFER_SMALL 5    /* the caller's buffer is too small for the answer */
#define KOVRA_ERR_WRONG_PARAMETER 7 /* an argument the reader cannot take */
#define KOVRA_ERR_NO_DATA 8         /* a command without any bytes */
#define KOVRA_ERR_WRONG_LENGTH 9    /* a reply of the wrong length */
#define KOVRA_ERR_CHECKSUM 10       /* the BCC or CRC of a reply is wrong */
#define KOVRA_ERR_EMPTY_REPLY 12    /* a reply of no bytes */
#define KOVRA_ERR_MODE_INVALID 13   /* an invalid mode argument */
#define KOVRA_ERR_DATA_AMOUNT 20    /* an answer that never ends or holds too much or too little */
#define KOVRA_ERR_MORE_DATA 32      /* the reader has more data; the call itself succeeded */
#define KOVRA_DESFIRE_BASE 0x10000  /* a DESFire card status s is stored as 0x10000 + s */

/* Codes a caller acts on when a card does not answer. KOVRA_ERR_NO_TRANSPONDER: the field is
 * empty or the card was not activated. From KOVRA_ERR_FIRST_CARD_ERROR up (the reader's air
 * interface, ISO and MIFARE errors, and every DESFire code) the card's answer was missing or
 * unusable: for a look at the field that also means "no card here". The codes below it are the
 * library's and the reader's own: the line or the reader failed. */
#define KOVRA_ERR_NO_TRANSPONDER 21
#define KOVRA_ERR_FIRST_CARD_ERROR 25

/* Languages of KOVRA_GetErrorText: 1 is German, every other value English. */
#define KOVRA_LANG_GERMAN 1
#define KOVRA_LANG_ENGLISH 0

/* ------------------------------------------------------------------------------------------ */
/* Opening and identifying readers                                                            */

/* Results of KOVRA_OpenPort besides a handle. */
#define KOVRA_OPEN_FAILED -1      /* the link did not open (or a "BTW" name) */
#define KOVRA_OPEN_BAD_TIMEOUT -2 /* timeout_ms is negative */
#define KOVRA_OPEN_NO_READER -11  /* no usable version answer in any protocol family */
#define KOVRA_OPEN_HID_NOT_STARTED -13

/* Opens and identifies a reader. name, tested in this order:
 *  - a name that begins with "PCSC: ": a PC/SC reader from KOVRA_ListPcscPorts (without the
 *    daemon or the reader: KOVRA_LINK_NO_DEVICE; without the client library:
 *    KOVRA_LINK_NOT_SUPPORTED);
 *  - an absolute path: a serial line, "/dev/ttyUSB0", a simulator's "/dev/pts/7" or a link to a
 *    terminal elsewhere ("/run/kv-reader"); it opens only when it leads to a terminal
 *    (KOVRA_LINK_NOT_A_TERMINAL otherwise). The same path followed by " BT" is a serial line
 *    with a Bluetooth module on it;
 *  - a network reader (see "Network readers" below);
 *  - a name holding "HID": a HID reader's name from KOVRA_ListUsbPorts (the letter case of its
 *    serial number does not matter);
 *  - a name holding "BTW": refused (KOVRA_OPEN_FAILED);
 *  - a name holding "BT": a Bluetooth adapter from KOVRA_ListBtPorts ("<serial number> BT", the
 *    letter case of the serial number does not matter), else the serial line named before " BT"
 *    ("COM5 BT") with the module on it;
 *  - "COM3" or "\\.\COM3" (= /dev/ttyS2);
 *  - anything else: an FTDI reader's serial number from KOVRA_ListUsbPorts, opened through the
 *    vendor's D2XX library (without the library: KOVRA_LINK_NOT_SUPPORTED).
 * An optional ":N" suffix sets the bus address N of readers on a shared line ("COM4:3"; for a
 * path only a last colon followed by digits). The baud argument counts for COM names and
 * absolute paths (other names open at 19200): it is rounded down to a multiple of 100, and the
 * remainder selects the framing: 0 none/1 stop bit, 1 even/1, 2 odd/1, 3 none/2 stop bits. The
 * reader's protocol family is found by asking for its version (at most 300 ms a try, five tries in
 * all). A Bluetooth adapter's port (a name of KOVRA_ListBtPorts, or a serial line and " BT") is not
 * asked: it is handed out at once as device type 0x125 ("KV-BT Adapter"), and the adapter searches
 * for its reader and connects when the first command goes out; a command's wait ends at the port's
 * timeout even while the search goes on (it goes on with the next command), so the first commands
 * may time out. Result: the handle (> 0), or KOVRA_OPEN_FAILED, KOVRA_OPEN_BAD_TIMEOUT,
 * KOVRA_OPEN_NO_READER, KOVRA_OPEN_HID_NOT_STARTED (the HID reader refused its start report). A
 * failed open leaves nothing behind (no last error to read). A HID reader unplugged while open ends
 * its port: the command under way fails at once with KOVRA_ERR_TIMEOUT, and the handle then names
 * no port. */
KOVRA_API int KOVRA_OpenPort(const char *name, int baud, int timeout_ms);

/* Why the link of the last KOVRA_OpenPort on this thread did not open (KOVRA_OPEN_FAILED), so
 * that the operator can be told what to do about it. Every KOVRA_OPEN_FAILED leaves one of the
 * codes below other than KOVRA_LINK_OK. */
#define KOVRA_LINK_OK 0             /* the link opened (or no open was tried yet) */
#define KOVRA_LINK_NO_DEVICE 1      /* no such device: not plugged in, or a wrong name */
#define KOVRA_LINK_NO_PERMISSION 2  /* this user may not open the device (group dialout, udev) */
#define KOVRA_LINK_BUSY 3           /* another program holds the device */
#define KOVRA_LINK_NOT_A_TERMINAL 4 /* the name is no serial device (a file, a folder) */
#define KOVRA_LINK_NOT_SUPPORTED 5  /* this build has no transport for the kind of name */
#define KOVRA_LINK_OTHER 6          /* the system refused for another reason */
#define KOVRA_LINK_TIMEOUT 7        /* a network reader did not accept the connection in time */
/* Result: one of the KOVRA_LINK_* codes above. */
KOVRA_API int KOVRA_GetLinkFailure(void);

/* Whether the device below an open port is still there. A serial adapter that was unplugged (or a
 * simulator that ended) keeps its handle, and its commands time out, until the port is closed;
 * this tells the two apart at once. Result: 1 link up, 0 the device went away, -1 unknown
 * handle. */
KOVRA_API int KOVRA_IsLinkUp(int handle);

/* Closes the port and frees its handle. Result: 0, or -1 for an unknown handle. */
KOVRA_API int KOVRA_ClosePort(int handle);

/* Asks the reader for its version (4 characters: device type code in 3 hex digits, firmware
 * revision). Result: data (4 for a well-behaved reader). */
KOVRA_API int KOVRA_GetVersion(int handle, unsigned char *buffer, int size);

/* The reader's model name (an unknown handle counts as device type 0; a type the library does
 * not know reads "KV-#" and its code in hex). buffer may be NULL; otherwise it is zero-filled and
 * receives at most size-1 characters. Result: the full length of the name. */
KOVRA_API int KOVRA_GetDeviceName(int handle, char *buffer, int size);

/* 1 when the reader can personalise DESFire cards (lowest bit of its device type code), 0 when
 * not, -1 for an unknown handle. */
KOVRA_API int KOVRA_IsDeviceCapable(int handle);

/* 1 when the port runs over HID or the FTDI D2XX library, 0 otherwise (serial lines, network
 * and Bluetooth readers), -1 for an unknown handle. */
KOVRA_API int KOVRA_IsUsbDevice(int handle);

/* ------------------------------------------------------------------------------------------ */
/* Finding readers (no port needs to be open)                                                 */

/* The machine's serial ports, sorted by kernel name (ttyACM0, ttyS0, ttyUSB0, ...): each by its
 * stable /dev/serial/by-id/ link where one exists, else by its device node. Our readers are
 * marked: " [" + the USB product string + "]" when that begins with "Ulo" or "RB-6", or
 * " [Ulo Virtual COM]" for our virtual COM readers. KOVRA_OpenPort takes the names as they stand.
 * Result: list (0 when buffer is NULL or size below 1). */
KOVRA_API int KOVRA_ListComPorts(char *buffer, int size);

/* Our USB readers driven directly (not as serial ports), and only those whose name starts with
 * one of our article numbers: first FTDI readers through the vendor's D2XX library, named by
 * their serial number ("3105-0000002"; devices open in this process are left out), then HID
 * readers, named by their serial number followed by " HID" ("3105-0012345 HID"). Every name is
 * one KOVRA_OpenPort takes back to the same reader: a D2XX serial number that is not plain
 * (characters other than ASCII letters, digits, '-', '_', '#', '+') or that would route
 * elsewhere ("BT", "HID", "COM1...") is left out; a HID serial number has such characters turned
 * into '_'. D2XX is loaded at run time ("libftd2xx.so", or $KOVRA_D2XX_LIBRARY), hidapi too
 * ("libhidapi-hidraw.so.0", or $KOVRA_HIDAPI_LIBRARY); without one the list has none of its
 * readers. A D2XX library that fails or counts more than 64 devices contributes none (its list
 * only comes whole); at most 64 HID readers are listed. Result: list. */
KOVRA_API int KOVRA_ListUsbPorts(char *buffer, int size);

/* Bluetooth adapters behind the USB bridge's library ("libSiUSBXp.so", or
 * $KOVRA_SIUSBXP_LIBRARY, loaded at run time; without it the list is empty): each device whose
 * serial number begins with "ULO-PN7341#", as that serial number followed by " BT". A serial
 * number that is not plain (as for KOVRA_ListUsbPorts) or that holds "HID" or "BTW" is left out.
 * Only the bridge's first 64 devices are looked at, by listing and by KOVRA_OpenPort. Result:
 * list. */
KOVRA_API int KOVRA_ListBtPorts(char *buffer, int size);

/* The PC/SC readers (CCID readers and others served by the PC/SC daemon, pcscd), each as "PCSC: "
 * followed by the reader's name as the daemon gives it ("PCSC: Virtual PCD 00 00"), in the
 * daemon's order. KOVRA_OpenPort takes the names as they stand (a ":N" bus address after them is
 * ignored); their handles count from 30001. The PC/SC client library is loaded at run time
 * ("libpcsclite.so.1", or $KOVRA_PCSC_LIBRARY); which daemon it reaches is its own affair
 * ($PCSCLITE_CSOCK_NAME). Without the library, or when the daemon does not answer within a second,
 * the list is empty. Such a port answers the transponder and DESFire functions as a maker's reader
 * does: the reader activates the card itself (KOVRA_Request connects to the card exclusively,
 * reporting ATQA 0; KOVRA_Select gives the UID the reader reads and a SAK from the card's ATR: 0x20
 * for an ISO 14443-4 card, 0x08, 0x18, 0x09 or 0x00 for the MIFARE storage cards, a card of any
 * other kind failing with code 43; KOVRA_SendRats an ATS of the ATR's historical bytes;
 * KOVRA_SetRfField 0 resets and leaves the card), and each DESFire command goes to the card wrapped
 * in an ISO 7816-4 command (CLA 0x90). Its version is "1C10" ("PC/SC Reader"). A daemon that stops
 * takes the link down (KOVRA_IsLinkUp 0, commands fail with KOVRA_ERR_TIMEOUT) until the port is
 * opened again. Result: list. */
KOVRA_API int KOVRA_ListPcscPorts(char *buffer, int size);

/* Flags of KOVRA_GetMissingDrivers. */
#define KOVRA_MISSING_FTDI_DRIVER 1        /* an FTDI-based reader with no driver (see below) */
#define KOVRA_MISSING_VIRTUAL_COM_DRIVER 2 /* a virtual COM reader with no kernel driver bound */
/* Which of our USB readers are plugged in without a driver. An FTDI reader counts as served by a
 * kernel driver bound to it (ftdi_sio) or, where the vendor's D2XX library is installed and
 * answers its device list, by that library (ftdi_sio is unbound from a reader for D2XX on
 * purpose). Result: the flags above, 0 when every reader has its driver. */
KOVRA_API int KOVRA_GetMissingDrivers(void);

/* 1 when the kernel's driver for our virtual COM readers (cdc_acm) is loaded, built in or
 * installed as a module, 0 otherwise. */
KOVRA_API int KOVRA_IsVirtualComDriverInstalled(void);

/* ------------------------------------------------------------------------------------------ */
/* Network readers                                                                            */
/* A network reader is opened with KOVRA_OpenPort by "192.168.1.50-10001" (address and TCP
 * port), "192.168.1.50" (port 10001) or "[NAME]" (the identity of a reader that takes its
 * address by DHCP, found on the local networks within 200 ms per adapter). Its handles count
 * from 20001. The functions below use the readers' configuration service (UDP port 30718) on
 * every local IPv4 interface that is up, loopback excepted. They block the calling thread while
 * they wait: a search 500 ms per adapter after the last answer, at most 3 s per adapter with the
 * product check of KOVRA_ListLanPorts included (each address is asked once); a reader's reply up
 * to 500 ms. A connection is made from the local address of the adapter the route to the reader
 * leaves by (a reader behind a router, a host with several adapters). */

/* Searches the local networks for readers. Entries: "a.b.c.d-port" for a reader with a fixed
 * address, "[NAME]a.b.c.d-port" for a DHCP reader; sorted, each once. Result: list. */
KOVRA_API int KOVRA_SearchLanDevices(char *buffer, int size);

/* The same search for a port choice: only the maker's readers, DHCP readers as "[NAME]" alone.
 * Result: list. */
KOVRA_API int KOVRA_ListLanPorts(char *buffer, int size);

/* 1 when a reader at address ("a.b.c.d", "a.b.c.d-port" or "[NAME]") answers on some local
 * adapter, else 0. */
KOVRA_API int KOVRA_PingLanDevice(const char *address);

/* Reads a reader's network settings into the buffers that are not NULL: name "[NAME]-port"
 * (room for 25 bytes), address_out "a.b.c.d-port" or "" for a DHCP reader (room for 25 bytes:
 * when name is NULL a DHCP reader's name text goes there instead), mask and gateway "a.b.c.d"
 * (16 bytes each). Result: 0, or -1 when the reader does not answer. */
KOVRA_API int KOVRA_GetLanConfig(const char *address, char *name, char *address_out, char *mask,
                                 char *gateway);

/* Changes a reader's network settings. new_address: "a.b.c.d" or "a.b.c.d-port" for a fixed
 * address, "[NAME]" or "[NAME]-port" for DHCP under that name (port 0 or no port: unchanged);
 * mask and gateway "a.b.c.d", or NULL / "" (no mask: unchanged; no gateway: none). The reader is
 * found again at its new address (this may take several seconds) to write the rest. Result: 0
 * when written or when nothing needed changing, -1 when the reader did not answer, when it did
 * not answer the identify request that a change of the address alone needs (the address then
 * stays as it was), or an argument does not parse (nothing is changed then), or another negative
 * value when the reader could not be found again after its address changed. */
KOVRA_API int KOVRA_SetLanConfig(const char *address, const char *new_address, const char *mask,
                                 const char *gateway);

/* ------------------------------------------------------------------------------------------ */
/* Transponder commands (ISO 14443-A) and reader housekeeping                                 */
/* The usual activation: field off, 10 ms, on, 10 ms; KOVRA_Request; KOVRA_Select; for a card
 * with ISO 14443-4 (SAK bit 0x20) KOVRA_SetIsoParameter(1), KOVRA_SendRats, KOVRA_SendPps. */

/* Switches the RF field: on != 0 (only the low byte counts: 256 is off). Result: 0 / -1. */
KOVRA_API int KOVRA_SetRfField(int handle, int on);

/* Sets the reader mode 0..3 (bit 7 passes through). Result: 0 / -1; KOVRA_ERR_MODE_INVALID when
 * the low 7 bits are above 3 (nothing sent). Readers of families 2 and 3 have no modes: 0
 * without sending anything. */
KOVRA_API int KOVRA_SetMode(int handle, int mode);

/* ISO 14443-A request; *atqa receives the 2-byte answer, first byte low. Result: 0 / -1;
 * KOVRA_ERR_WRONG_LENGTH when the answer is not 2 bytes. */
KOVRA_API int KOVRA_Request(int handle, unsigned short *atqa);

/* Anticollision and select: the UID goes to uid (size bytes), the SAK to *sak (0 on failure).
 * Result: the UID length, or -1; an empty answer or a UID longer than size fails WITHOUT
 * changing the last error. */
KOVRA_API int KOVRA_Select(int handle, unsigned char *uid, int size, unsigned char *sak);

/* Reader command 0x40 with the low byte of value. Result: 0 / -1. */
KOVRA_API int KOVRA_SetIsoParameter(int handle, int value);

/* ISO 14443-4 RATS; the card's ATS goes to buffer. Result: data. */
KOVRA_API int KOVRA_SendRats(int handle, unsigned char *buffer, int size);

/* ISO 14443-4 PPS with the low byte of parameter; a card session starts afresh. Result: 0 / -1. */
KOVRA_API int KOVRA_SendPps(int handle, int parameter);

/* The reader's 4-byte serial number. Result: data. */
KOVRA_API int KOVRA_GetSerialNumber(int handle, unsigned char *buffer, int size);

/* Switches the reader's USB interface: 1 HID, 2 virtual COM port. Result: 0 / -1. */
KOVRA_API int KOVRA_SetUsbMode(int handle, int mode);

/* Reader command 0xF6 with the low bytes of byte1 and byte2. Result: 0 / -1. */
KOVRA_API int KOVRA_SendControlCommand(int handle, int byte1, int byte2);

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

/* ------------------------------------------------------------------------------------------ */
/* DESFire EV1 on the card in the field (after activation with KOVRA_SendPps)                   */
/* Results: 0 / -1 unless said otherwise. On failure the last error holds 0x10000 + the card's
 * status byte (e.g. 0x100AE authentication error, 0x100A0 no such application, 0x100DE
 * duplicate), one of the codes below, or the reader's error. A card that answers with an error
 * status ends the authentication. Keys are 16 bytes: AES-128, or two-key 3DES (equal halves =
 * single DES). Communication modes: 0 plain, 1 plain with MAC, 3 fully enciphered.
 * Arguments are checked before anything is sent; one outside its range fails the call (-1) with
 * KOVRA_ERR_MODE_INVALID (a communication mode other than 0, 1, 3) or KOVRA_ERR_WRONG_PARAMETER
 * (any other): key numbers 0..13, file numbers 0..31, offsets, lengths and file sizes
 * 0..0xFFFFFF (offset + length at most 0x1000000), access rights 0..0xFFFF, and the ranges said
 * at each function. AIDs are the low 24 bits of aid, unchecked. */
#define KOVRA_DESFIRE_ERR_KEY_LENGTH 0x10020     /* a key is not 16 bytes */
#define KOVRA_DESFIRE_ERR_OLD_KEY_LENGTH 0x10021 /* ChangeKey of another key: old key not 16 */
#define KOVRA_DESFIRE_ERR_NOT_AUTHENTICATED 0x10023
/* The card's MAC does not match, or an answer that must carry one comes without it (a bare
 * status 00 in a session): back to card level. */
#define KOVRA_DESFIRE_ERR_MAC 0x10024
#define KOVRA_DESFIRE_ERR_CRC 0x10025 /* CRC after deciphering does not match */
/* Card statuses the writer acts on (0x10000 + the card's status byte). */
#define KOVRA_DESFIRE_NO_SUCH_KEY 0x10040          /* the key number does not exist */
#define KOVRA_DESFIRE_APP_NOT_FOUND 0x100A0        /* no application with this AID */
#define KOVRA_DESFIRE_AUTHENTICATION_ERROR 0x100AE /* wrong key, or an access right refused */
#define KOVRA_DESFIRE_ADDITIONAL_FRAME 0x100AF     /* a chained command waits for more frames */
#define KOVRA_DESFIRE_DUPLICATE 0x100DE            /* the application or file exists already */

/* Authenticate with key key_no of the selected application (or of the card at card level).
 * key NULL stands for the factory default key (16 zero bytes); otherwise key_length must be 16
 * (else KOVRA_DESFIRE_ERR_KEY_LENGTH and an earlier authentication stays). */
KOVRA_API int KOVRA_DESFireAuthenticateAES(int handle, int key_no, const unsigned char *key,
                                           int key_length);
KOVRA_API int KOVRA_DESFireAuthenticateISO(int handle, int key_no, const unsigned char *key,
                                           int key_length);

/* Selects an application (low 24 bits of aid; 0 = card level); ends the authentication. */
KOVRA_API int KOVRA_DESFireSelectApplication(int handle, int aid);

/* Creates an application. crypto_method: 0 DES/3DES, 1 3K3DES, 2 AES; key_count 1..14;
 * change_key_access and config_bits (0..15 each) are the two nibbles of the key settings;
 * iso_data (NULL or a length of 0 or less for none) holds the 2-byte ISO DF identifier followed by
 * the DF name (iso_data_length at most 18; sent only when above 2). */
KOVRA_API int KOVRA_DESFireCreateApplication(int handle, int aid, int crypto_method, int key_count,
                                             int iso_file_ids, int change_key_access,
                                             int config_bits, const unsigned char *iso_data,
                                             int iso_data_length);

/* Creates a standard data file; iso_file_id 0..0xFFFF, 0 = none; comm_settings a communication
 * mode; access_rights: read, write, read/write and change key nibbles from the top (0xE free,
 * 0xF denied). */
KOVRA_API int KOVRA_DESFireCreateStdDataFile(int handle, int file_no, int iso_file_id,
                                             int file_size, int comm_settings, int access_rights);

/* Deletes an application; deleting the selected one returns the session to card level. */
KOVRA_API int KOVRA_DESFireDeleteApplication(int handle, int aid);

/* Formats the card (needs the card master key authenticated). */
KOVRA_API int KOVRA_DESFireFormatPICC(int handle);

/* Changes key key_no. Needs authentication; for a key other than the authenticated one the old
 * key (16 bytes) too. key_version (0..255) is sent with AES keys; new_master_key_type 2 turns the
 * card master key into an AES key. Changing the authenticated key ends the authentication. */
KOVRA_API int KOVRA_DESFireChangeKey(int handle, int key_no, const unsigned char *new_key,
                                     int new_key_length, int key_version,
                                     const unsigned char *old_key, int old_key_length,
                                     int new_master_key_type);

/* The file's settings (7 bytes for a standard data file: type, communication settings 0/1/3,
 * access rights (2), size (3)). Result: the number of bytes copied (at most size), or -1. */
KOVRA_API int KOVRA_DESFireGetFileSettings(int handle, int file_no, unsigned char *buffer,
                                           int size);

/* Result: the free bytes on the card, or -1. */
KOVRA_API int KOVRA_DESFireGetFreeMemory(int handle);

/* Reads length bytes from offset (length 0: to the end of the file; a negative length is
 * refused) in the communication mode. Result: the number of bytes copied (at most size), or -1. */
KOVRA_API int KOVRA_DESFireReadData(int handle, int file_no, int comm_mode, int offset, int length,
                                    unsigned char *buffer, int size);

/* Writes length bytes at offset in the communication mode (data NULL or a length of 0 or less:
 * no bytes). Succeeds only when the card has taken all of them. */
KOVRA_API int KOVRA_DESFireWriteData(int handle, int file_no, int comm_mode, int offset,
                                     const unsigned char *data, int length);

/* ------------------------------------------------------------------------------------------ */
/* Keys of their own for every card                                                            */

/* Key types of KOVRA_DESFireDiversifyKey: master and derived key are 16 bytes (AES-128, two-key
 * triple DES) or 24 bytes (three-key triple DES). */
#define KOVRA_DIVERSIFY_AES128 0
#define KOVRA_DIVERSIFY_2K3DES 1
#define KOVRA_DIVERSIFY_3K3DES 2

/* Derives a card's own key from a master key with the CMAC-based method of DESFire card issuers.
 * The diversification input is the card's UID (uid, uid_length bytes: the real UID, not a random
 * one), the application ID (low 24 bits of aid, least significant byte first as the card is sent
 * it; 0 for the card master key) and an optional system identifier (NULL or a length of 0 or less
 * for none). The input is always padded to two cipher blocks, also when it is short. The DES-based
 * types carry the master key's version bits (the lowest bit of each of its first eight bytes) in
 * the derived key, the form the card stores. The input may hold at most 31 bytes for AES-128 and
 * 15 bytes for the DES-based types (UID + 3 + system identifier).
 * Result (data): the number of bytes written to derived (16 or 24), or -1 with derived untouched
 * for an unknown key type, a master key of the wrong length, a missing UID, an input too long or
 * a buffer (size) smaller than the derived key. The function uses no port: no last error is set.
 * It never touches a reader and may be called from any thread. */
KOVRA_API int KOVRA_DESFireDiversifyKey(int key_type, const unsigned char *master,
                                        int master_length, const unsigned char *uid, int uid_length,
                                        int aid, const unsigned char *system_id,
                                        int system_id_length, unsigned char *derived, int size);

#ifdef __cplusplus
}
#endif

#endif /* KOVRA_H */
