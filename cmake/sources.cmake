# Platform-free logic: no Windows headers, built into the DLL and natively
# (unit tests with sanitizers, fuzzing).
set(ZOBRIK_LOGIC_SOURCES
    plugin/mail_reassembly.cpp
    plugin/idle_mail_requests.cpp
    plugin/bounded_workers.cpp
    plugin/exception_text.cpp
    plugin/mail_reply.cpp
    plugin/request_admission.cpp
    mail/mail_decoder.cpp
    mail/staged_file_names.cpp
    mail/staging_rules.cpp
    mail/staging_ledgers.cpp
    mail/simple_mapi_message.cpp
    mail/outlook_arguments.cpp
    exec/exec_text.cpp
    exec/percent_decoding.cpp
    exec/host_recognition.cpp
    exec/windows_paths.cpp
    exec/exec_policy.cpp
    exec/exec_policy_ladder.cpp
    exec/exec_admin_policy.cpp
    exec/exec_confirmation_text.cpp
    exec/url_normalisation.cpp
    mail/mail_admin_policy.cpp
    plugin/admin_policy_values.cpp
    common/event_log.cpp
)

# Platform-free logic that has a Windows and a native implementation.
set(ZOBRIK_LOGIC_WIN_SOURCES
    mail/utf8_to_utf16_win.cpp
    exec/url_idna_win.cpp
)
set(ZOBRIK_LOGIC_NATIVE_SOURCES
    mail/utf8_to_utf16_native.cpp
    exec/url_idna_posix.cpp
)

# The thin Windows layer of the DLL.
set(ZOBRIK_WIN_SOURCES
    common/debug_output_win.cpp
    common/event_log_win.cpp
    plugin/factory.cpp
    common/simple_mapi_binding.cpp
    plugin/plugin.cpp
    plugin/module_objects.cpp
    plugin/channel_callbacks.cpp
    plugin/channel_slot.cpp
    plugin/idle_sweep_timer.cpp
    plugin/worker_thread.cpp
    plugin/request_workers.cpp
    exec/exec_worker.cpp
    exec/exec_policy_win.cpp
    exec/exec_confirmation_win.cpp
    plugin/admin_policy_registry.cpp
    mail/mail_processing.cpp
    mail/attachment_staging.cpp
    common/staging_location.cpp
    mail/simple_mapi_send.cpp
    mail/outlook_handover.cpp
    common/outlook_connection.cpp
    selftest/run.cpp
)

# The Linux add-in for FreeRDP: its platform-free decisions (also unit-tested
# natively), its thin POSIX layer (also built natively, so its tests run
# under the sanitizers), and the FreeRDP frame (built by cmake/linux.cmake).
set(ZOBRIK_POSIX_LOGIC_SOURCES
    exec/exec_text_decoding.cpp
    exec/exec_posix_refusals.cpp
    mail/mail_address.cpp
    mail/xdg_email_arguments.cpp
    freerdp/policy_file.cpp
)
set(ZOBRIK_POSIX_SOURCES
    common/program_run_posix.cpp
    mail/posix_staging.cpp
    mail/mail_processing_posix.cpp
    exec/exec_posix.cpp
)
set(ZOBRIK_FREERDP_SOURCES
    freerdp/debug_output_wlog.cpp
    freerdp/event_log_wlog.cpp
    freerdp/request_workers_posix.cpp
    freerdp/idle_sweep_posix.cpp
    freerdp/addin.cpp
)

# The platform-free decisions of the session host's zobrik-open.exe (its
# Windows build is server/open/CMakeLists.txt).
set(ZOBRIK_SERVER_OPEN_LOGIC_SOURCES
    server/open/open_decisions.cpp
)

# The server package's setup program: its platform-free decisions (also
# unit-tested natively).
set(ZOBRIK_SERVER_SETUP_LOGIC_SOURCES
    server/setup/previous_defaults.cpp
)

# The Simple MAPI provider of the session host (server/mapi): its
# platform-free logic, built into ZobrikMapi.dll and natively.
set(ZOBRIK_SERVER_MAPI_LOGIC_SOURCES
    ${PROJECT_SOURCE_DIR}/server/mapi/program_mail.cpp
    ${PROJECT_SOURCE_DIR}/server/mapi/mail_hand_over.cpp
    ${PROJECT_SOURCE_DIR}/server/mapi/previous_client.cpp
)
