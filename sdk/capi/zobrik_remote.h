/* zobrik_remote.h: the C interface of zobrik_remote.dll, for programs in a
 * Remote Desktop session that want the Zobrik plug-in of the user's client
 * to open a path or address on the client computer, or to hand a mail to
 * the mail program there. Usable from C, C++, C# (P/Invoke), PowerShell
 * (Add-Type) and Python (ctypes); see docs/remote-applications.md.
 *
 * Conventions
 * - Text is UTF-8 and ends with a zero byte, in and out.
 * - Functions that can fail return a zobrik_status; ZOBRIK_OK is 0.
 *   zobrik_last_error() has the sentence of the last failure of the calling
 *   thread.
 * - Objects (zobrik_mail, zobrik_request, zobrik_reply) are made by this DLL
 *   and freed with their own _free function; NULL may be passed to a _free
 *   function. An object is used by one thread at a time.
 * - The calling convention is the platform's C convention (on x64 Windows
 *   there is one).
 *
 * Stability: functions and values are only ever added. A program written for
 * version 1.x runs with every later 1.y (check zobrik_api_version() >=
 * ZOBRIK_REMOTE_API_VERSION at start-up when it needs a function of 1.y).
 */
#ifndef ZOBRIK_REMOTE_H
#define ZOBRIK_REMOTE_H

#include <stddef.h>
#include <stdint.h>

#if defined(ZOBRIK_REMOTE_BUILDING)
#define ZOBRIK_REMOTE_API __declspec(dllexport)
#else
#define ZOBRIK_REMOTE_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* (major << 16) | minor of this header; zobrik_api_version() is the DLL's. */
#define ZOBRIK_REMOTE_API_VERSION 0x00010000u

typedef enum zobrik_status {
    ZOBRIK_OK = 0,
    ZOBRIK_OPEN_FAILED = 1,       /* exec: the client's shell could not open it (or policy refused it) */
    ZOBRIK_MAIL_REFUSED = 2,      /* mail: the plug-in answered with an error; see the reply */
    ZOBRIK_INVALID_ARGUMENT = 10, /* NULL where an object or text is needed, text that is not UTF-8, a bad option */
    ZOBRIK_BAD_ADDRESS = 11,      /* a recipient that is not a plausible mail address */
    ZOBRIK_FILE_ERROR = 12,       /* an attachment file cannot be read */
    ZOBRIK_INVALID_MAIL = 13,     /* the mail cannot be sent as it is (too large, a zero byte in a text, ...) */
    ZOBRIK_CHANNEL_NOT_AVAILABLE = 20, /* not in a Remote Desktop session, no plug-in on the client, or switched off */
    ZOBRIK_CHANNEL_FAILED = 21,        /* the channel broke while writing or reading */
    ZOBRIK_NO_REPLY = 22,              /* no reply within the time limit */
    ZOBRIK_PROTOCOL_ERROR = 23,        /* the answer is not a reply of the plug-in */
    ZOBRIK_OUT_OF_MEMORY = 30,
    ZOBRIK_INTERNAL_ERROR = 31
} zobrik_status;

/* Recipient and originator groups of a mail. */
typedef enum zobrik_recipient_kind {
    ZOBRIK_TO = 1,
    ZOBRIK_CC = 2,
    ZOBRIK_BCC = 3,
    ZOBRIK_FROM = 4,
    ZOBRIK_SENDER = 5
} zobrik_recipient_kind;

/* Options of a mail (zobrik_mail_set_options), to be combined with |. */
#define ZOBRIK_MAIL_HTML_BODY 0x1u      /* the body is HTML */
#define ZOBRIK_MAIL_PREFER_OUTLOOK 0x2u /* Outlook first, the mail program otherwise */
#define ZOBRIK_MAIL_SEND_NOW 0x4u       /* Outlook sends at once; other mail programs show it without blocking */

/* Time limits in milliseconds. */
#define ZOBRIK_WAIT_FOREVER 0xFFFFFFFFu
#define ZOBRIK_DEFAULT_OPEN_TIMEOUT 60000u

typedef struct zobrik_mail zobrik_mail;       /* a mail being described */
typedef struct zobrik_request zobrik_request; /* the bytes of a mail request */
typedef struct zobrik_reply zobrik_reply;     /* the plug-in's answer to a mail */

/* Version ------------------------------------------------------------- */

/* (major << 16) | minor of the DLL's interface. */
ZOBRIK_REMOTE_API uint32_t zobrik_api_version(void);
/* The product version, "1.0.0". */
ZOBRIK_REMOTE_API const char* zobrik_version(void);
/* The constant name of a status, "ZOBRIK_NO_REPLY"; "?" for unknown values. */
ZOBRIK_REMOTE_API const char* zobrik_status_name(zobrik_status status);
/* The sentence of the calling thread's last failure ("" after a success);
 * valid until the thread's next call into this DLL. */
ZOBRIK_REMOTE_API const char* zobrik_last_error(void);

/* Exec ---------------------------------------------------------------- */

/* Opens `text` (a path of the client computer or an address) with the
 * client's shell and waits up to `timeout_ms` for the answer. The text goes
 * in this computer's ANSI code page when it has a form there, else as
 * UTF-8 (which plug-ins before 1.0 do not read).
 * ZOBRIK_OK: opened; ZOBRIK_OPEN_FAILED: not opened. */
ZOBRIK_REMOTE_API zobrik_status zobrik_open(const char* text, uint32_t timeout_ms);

/* Mail ---------------------------------------------------------------- */

ZOBRIK_REMOTE_API zobrik_status zobrik_mail_create(zobrik_mail** mail);
ZOBRIK_REMOTE_API void zobrik_mail_free(zobrik_mail* mail);
/* "ann@example.com" or "Ann Lee <ann@example.com>"; display names reach the
 * mail program on the Outlook route only. */
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_add_recipient(zobrik_mail* mail, zobrik_recipient_kind kind,
                                                          const char* address);
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_set_subject(zobrik_mail* mail, const char* subject);
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_set_body(zobrik_mail* mail, const char* body);
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_set_options(zobrik_mail* mail, uint32_t options);
/* Reads the file now; the attachment keeps the file's name. */
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_attach_file(zobrik_mail* mail, const char* path);
/* Attaches `size` bytes (copied) under the file name `name`. */
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_attach_data(zobrik_mail* mail, const char* name, const void* data,
                                                        size_t size);

/* Builds the request bytes of `mail`; the mail stays as it is. */
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_build(const zobrik_mail* mail, zobrik_request** request);
ZOBRIK_REMOTE_API const uint8_t* zobrik_request_data(const zobrik_request* request);
ZOBRIK_REMOTE_API size_t zobrik_request_size(const zobrik_request* request);
ZOBRIK_REMOTE_API void zobrik_request_free(zobrik_request* request);

/* Sends a request on "Zobrik/mail" and waits up to `timeout_ms` (the reply
 * comes when the user has closed the mail program's window, so
 * ZOBRIK_WAIT_FOREVER is usual). ZOBRIK_OK: handed over to the mail
 * program; ZOBRIK_MAIL_REFUSED: the plug-in answered with an error. In both
 * cases, and for ZOBRIK_PROTOCOL_ERROR, `*reply` (when `reply` is not NULL)
 * receives the answer, to be freed with zobrik_reply_free; otherwise it is
 * set to NULL. */
ZOBRIK_REMOTE_API zobrik_status zobrik_send_request(const zobrik_request* request, uint32_t timeout_ms,
                                                    zobrik_reply** reply);
/* zobrik_mail_build and zobrik_send_request in one call. */
ZOBRIK_REMOTE_API zobrik_status zobrik_mail_send(const zobrik_mail* mail, uint32_t timeout_ms, zobrik_reply** reply);

/* 1 when the mail was handed over to the mail program, else 0. */
ZOBRIK_REMOTE_API int zobrik_reply_handed_over(const zobrik_reply* reply);
/* The status byte of a one-byte reply, or -1 for an error text. */
ZOBRIK_REMOTE_API int zobrik_reply_status(const zobrik_reply* reply);
/* The whole error text ("Exception: char const *       too many records"),
 * "" for a status reply. */
ZOBRIK_REMOTE_API const char* zobrik_reply_text(const zobrik_reply* reply);
/* The error text's message ("too many records"), "" when there is none. */
ZOBRIK_REMOTE_API const char* zobrik_reply_message(const zobrik_reply* reply);
/* One line for people: "handed over to the mail program", "the plug-in
 * reported an error: too many records", ... */
ZOBRIK_REMOTE_API const char* zobrik_reply_description(const zobrik_reply* reply);
ZOBRIK_REMOTE_API void zobrik_reply_free(zobrik_reply* reply);

/* Transport ------------------------------------------------------------ */

/* Where the channels come from. By default the DLL opens the channels of the
 * current Remote Desktop session; a program may install its own transport
 * (a test double, a channel of another remoting product). Each function
 * returns 0 for success. `read` delivers one whole message by calling
 * `deliver(sink, data, size)` once and returns 0, returns 1 when no message
 * came within `timeout_ms`, and any other value for a failure. */
typedef struct zobrik_transport {
    uint32_t struct_size; /* sizeof(zobrik_transport) */
    void* context;
    int (*open)(void* context, const char* channel_name);
    int (*write)(void* context, const uint8_t* data, size_t size);
    int (*read)(void* context, uint32_t timeout_ms, void* sink,
                void (*deliver)(void* sink, const uint8_t* data, size_t size));
    void (*close)(void* context);
} zobrik_transport;

/* Installs `transport` (copied) for every later call of the process; NULL
 * goes back to the Remote Desktop session's channels. */
ZOBRIK_REMOTE_API zobrik_status zobrik_set_transport(const zobrik_transport* transport);

#ifdef __cplusplus
}
#endif

#endif /* ZOBRIK_REMOTE_H */
