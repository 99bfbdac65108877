// Stand-in for a libsndfile that lacks sf_write_sync: every other entry point exists (and does
// nothing), so binding must fail at the last name.
#define KELO_STUB(name) \
  extern "C" KELO_EXPORT int name() { return 0; }

KELO_STUB(sf_open) KELO_STUB(sf_open_fd) KELO_STUB(sf_open_virtual) KELO_STUB(sf_error)
KELO_STUB(sf_strerror) KELO_STUB(sf_error_number) KELO_STUB(sf_perror) KELO_STUB(sf_error_str)
KELO_STUB(sf_command) KELO_STUB(sf_format_check) KELO_STUB(sf_seek) KELO_STUB(sf_set_string)
KELO_STUB(sf_get_string) KELO_STUB(sf_read_raw) KELO_STUB(sf_write_raw)
KELO_STUB(sf_readf_short) KELO_STUB(sf_writef_short) KELO_STUB(sf_readf_int)
KELO_STUB(sf_writef_int) KELO_STUB(sf_readf_float) KELO_STUB(sf_writef_float)
KELO_STUB(sf_readf_double) KELO_STUB(sf_writef_double) KELO_STUB(sf_read_short)
KELO_STUB(sf_write_short) KELO_STUB(sf_read_int) KELO_STUB(sf_write_int)
KELO_STUB(sf_read_float) KELO_STUB(sf_write_float) KELO_STUB(sf_read_double)
KELO_STUB(sf_write_double) KELO_STUB(sf_close)
