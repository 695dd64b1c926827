/* The C interface, used from C as remote programs use it: zobrik_remote.dll
 * against the real plug-in DLL in the client stand-in (installed as the
 * transport), with the recording Simple MAPI stand-in as the mail program.
 * Prints one line per check that fails and exits 1 when any did. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "standin_shim.h"
#include "zobrik_remote.h"

static int failures = 0;

#define CHECK(condition)                                                                                      \
    do {                                                                                                      \
        if (!(condition)) {                                                                                   \
            printf("FAIL %s:%d: %s (last error: %s)\n", __FILE__, __LINE__, #condition, zobrik_last_error()); \
            ++failures;                                                                                       \
        }                                                                                                     \
    } while (0)

#define CHECK_STATUS(call, expected)                                                                    \
    do {                                                                                                \
        zobrik_status status_ = (call);                                                                 \
        if (status_ != (expected)) {                                                                    \
            printf("FAIL %s:%d: %s gave %s, expected %s (last error: %s)\n", __FILE__, __LINE__, #call, \
                   zobrik_status_name(status_), zobrik_status_name(expected), zobrik_last_error());     \
            ++failures;                                                                                 \
        }                                                                                               \
    } while (0)

/* A transport for failure cases: `mode` says what its read does. */
enum { READ_TIMES_OUT, READ_FAILS, READ_GIVES_GARBAGE, OPEN_FAILS };
static int fake_mode;
static int fake_closes;
static int fake_open(void* context, const char* name) {
    (void)context;
    (void)name;
    return fake_mode == OPEN_FAILS ? 5 : 0;
}
static int fake_write(void* context, const uint8_t* data, size_t size) {
    (void)context;
    (void)data;
    (void)size;
    return 0;
}
static int fake_read(void* context, uint32_t timeout_ms, void* sink,
                     void (*deliver)(void* sink, const uint8_t* data, size_t size)) {
    static const uint8_t garbage[3] = {'o', 'k', 0};
    (void)context;
    (void)timeout_ms;
    if (fake_mode == READ_TIMES_OUT) return 1;
    if (fake_mode == READ_FAILS) return 7;
    deliver(sink, garbage, sizeof garbage);
    return 0;
}
static void fake_close(void* context) {
    (void)context;
    ++fake_closes;
}

static void version_and_names(void) {
    CHECK(zobrik_api_version() == ZOBRIK_REMOTE_API_VERSION);
    CHECK(strcmp(zobrik_version(), ZOBRIK_EXPECTED_VERSION) == 0);
    CHECK(strcmp(zobrik_status_name(ZOBRIK_NO_REPLY), "ZOBRIK_NO_REPLY") == 0);
    CHECK(strcmp(zobrik_status_name((zobrik_status)99), "?") == 0);
}

/* Without an installed transport the DLL asks the Remote Desktop services,
 * and this is no Remote Desktop session. */
static void session_channel_is_not_available_here(void) {
    CHECK_STATUS(zobrik_set_transport(NULL), ZOBRIK_OK);
    CHECK_STATUS(zobrik_open("https://example.com", 1000), ZOBRIK_CHANNEL_NOT_AVAILABLE);
    CHECK(strstr(zobrik_last_error(), "\"Zobrik/exec\" is not available") != NULL);
}

static void arguments_are_checked(void) {
    zobrik_mail* mail = NULL;
    zobrik_request* request = NULL;
    zobrik_transport incomplete = *standin_transport();
    incomplete.read = NULL;
    CHECK_STATUS(zobrik_set_transport(&incomplete), ZOBRIK_INVALID_ARGUMENT);
    CHECK_STATUS(zobrik_open(NULL, 1000), ZOBRIK_INVALID_ARGUMENT);
    CHECK_STATUS(zobrik_open("", 1000), ZOBRIK_INVALID_ARGUMENT);
    CHECK_STATUS(zobrik_open("C:\\caf\xe9", 1000), ZOBRIK_INVALID_ARGUMENT); /* Latin-1, not UTF-8 */
    CHECK_STATUS(zobrik_mail_create(NULL), ZOBRIK_INVALID_ARGUMENT);
    CHECK_STATUS(zobrik_mail_create(&mail), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_add_recipient(mail, ZOBRIK_TO, "not an address"), ZOBRIK_BAD_ADDRESS);
    CHECK_STATUS(zobrik_mail_add_recipient(mail, (zobrik_recipient_kind)9, "a@example.com"), ZOBRIK_INVALID_ARGUMENT);
    CHECK_STATUS(zobrik_mail_set_options(mail, 0x80), ZOBRIK_INVALID_ARGUMENT);
    CHECK_STATUS(zobrik_mail_attach_file(mail, "C:\\no such folder\\x.pdf"), ZOBRIK_FILE_ERROR);
    CHECK_STATUS(zobrik_mail_attach_data(mail, "x.bin", NULL, 5), ZOBRIK_INVALID_ARGUMENT);
    /* Nothing was added by the refused calls: the mail has no recipient,
       which the client opens as a compose window with an empty To line. */
    CHECK_STATUS(zobrik_mail_build(mail, &request), ZOBRIK_OK);
    CHECK(request != NULL);
    zobrik_request_free(request);
    request = NULL;
    zobrik_mail_free(mail);
    zobrik_mail_free(NULL);
    zobrik_reply_free(NULL);
    zobrik_request_free(NULL);
}

static void open_through_the_plugin(void) {
    CHECK_STATUS(zobrik_set_transport(standin_transport()), ZOBRIK_OK);
    CHECK_STATUS(zobrik_open("C:\\no such folder\\none.exe", 20000), ZOBRIK_OPEN_FAILED);
    CHECK(strcmp(zobrik_last_error(), "the client's shell could not open it") == 0);
    CHECK_STATUS(zobrik_open("zobrik-unknown-scheme:x", 20000), ZOBRIK_OPEN_FAILED);
}

static void mail_through_the_plugin(void) {
    static const char data[] = "col1;col2\n1;2\n";
    char subject[64] = "";
    zobrik_mail* mail = NULL;
    zobrik_request* request = NULL;
    zobrik_reply* reply = NULL;
    CHECK_STATUS(zobrik_set_transport(standin_transport()), ZOBRIK_OK);
    CHECK(standin_mapi_reset());
    CHECK_STATUS(zobrik_mail_create(&mail), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_add_recipient(mail, ZOBRIK_TO, "Ann Lee <ann@example.com>"), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_add_recipient(mail, ZOBRIK_CC, "bob@example.com"), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_set_subject(mail, "Report \xc3\xa4"), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_set_body(mail, "Dear Ann"), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_attach_data(mail, "data.csv", data, strlen(data)), ZOBRIK_OK);

    CHECK_STATUS(zobrik_mail_send(mail, 60000, &reply), ZOBRIK_OK);
    CHECK(zobrik_reply_handed_over(reply) == 1);
    CHECK(zobrik_reply_status(reply) == 0);
    CHECK(strcmp(zobrik_reply_description(reply), "handed over to the mail program") == 0);
    zobrik_reply_free(reply);
    CHECK(standin_mapi_call_count() == 1);
    CHECK(standin_mapi_subject(0, subject, sizeof subject) && strcmp(subject, "Report \xc3\xa4") == 0);
    CHECK(standin_mapi_file_count(0) == 1);
    CHECK(standin_mapi_file_equals(0, 0, "data.csv", data, strlen(data)));

    /* Built once, sent once more: the same request reaches the mail program again. */
    CHECK_STATUS(zobrik_mail_build(mail, &request), ZOBRIK_OK);
    CHECK(zobrik_request_size(request) > 16 && zobrik_request_data(request) != NULL);
    CHECK_STATUS(zobrik_send_request(request, 60000, NULL), ZOBRIK_OK);
    CHECK(standin_mapi_call_count() == 2);
    zobrik_request_free(request);
    zobrik_mail_free(mail);
}

static void refusal_of_the_plugin_comes_with_its_text(void) {
    /* A temp folder path beyond MAX_PATH makes the plug-in refuse to stage. */
    char old_tmp[1024] = "", old_temp[1024] = "", long_tmp[400] = "C:\\";
    zobrik_mail* mail = NULL;
    zobrik_reply* reply = NULL;
    memset(long_tmp + 3, 'x', 300);
    strcat(long_tmp, "\\");
    GetEnvironmentVariableA("TMP", old_tmp, sizeof old_tmp);
    GetEnvironmentVariableA("TEMP", old_temp, sizeof old_temp);
    SetEnvironmentVariableA("TMP", long_tmp);
    SetEnvironmentVariableA("TEMP", long_tmp);
    CHECK_STATUS(zobrik_set_transport(standin_transport()), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_create(&mail), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_add_recipient(mail, ZOBRIK_TO, "ann@example.com"), ZOBRIK_OK);
    CHECK_STATUS(zobrik_mail_send(mail, 60000, &reply), ZOBRIK_MAIL_REFUSED);
    CHECK(reply != NULL);
    CHECK(zobrik_reply_handed_over(reply) == 0);
    CHECK(zobrik_reply_status(reply) == -1);
    CHECK(strcmp(zobrik_reply_text(reply), "Exception: char const *       temp path too long") == 0);
    CHECK(strcmp(zobrik_reply_message(reply), "temp path too long") == 0);
    CHECK(strcmp(zobrik_last_error(), "the plug-in reported an error: temp path too long") == 0);
    CHECK(strcmp(zobrik_last_error(), zobrik_reply_description(reply)) == 0);
    zobrik_reply_free(reply);
    zobrik_mail_free(mail);
    SetEnvironmentVariableA("TMP", old_tmp[0] ? old_tmp : NULL);
    SetEnvironmentVariableA("TEMP", old_temp[0] ? old_temp : NULL);
}

static void transport_failures_are_typed(void) {
    zobrik_transport fake = {sizeof(zobrik_transport), NULL, fake_open, fake_write, fake_read, fake_close};
    CHECK_STATUS(zobrik_set_transport(&fake), ZOBRIK_OK);
    fake_mode = READ_TIMES_OUT;
    CHECK_STATUS(zobrik_open("x", 1500), ZOBRIK_NO_REPLY);
    CHECK(strcmp(zobrik_last_error(), "no reply from the plug-in within 1500 ms") == 0);
    fake_mode = READ_FAILS;
    CHECK_STATUS(zobrik_open("x", 1500), ZOBRIK_CHANNEL_FAILED);
    fake_mode = READ_GIVES_GARBAGE;
    CHECK_STATUS(zobrik_open("x", 1500), ZOBRIK_PROTOCOL_ERROR);
    CHECK(strstr(zobrik_last_error(), "8 bytes") != NULL);
    CHECK(fake_closes == 3);
    fake_mode = OPEN_FAILS;
    CHECK_STATUS(zobrik_open("x", 1500), ZOBRIK_CHANNEL_NOT_AVAILABLE);
    CHECK(fake_closes == 3);
    CHECK_STATUS(zobrik_open("x", 1500), ZOBRIK_CHANNEL_NOT_AVAILABLE);
    CHECK_STATUS(zobrik_set_transport(NULL), ZOBRIK_OK);
}

int main(void) {
    version_and_names();
    session_channel_is_not_available_here();
    arguments_are_checked();
    open_through_the_plugin();
    mail_through_the_plugin();
    refusal_of_the_plugin_comes_with_its_text();
    transport_failures_are_typed();
    printf("%s: %d failed checks\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures == 0 ? 0 : 1;
}
