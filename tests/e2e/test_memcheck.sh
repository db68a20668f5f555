#!/bin/bash
# valgrind memcheck of a short end-to-end scenario (tests/memcheck/memcheck.sh): no memory error
# and no definite leak. Skipped in a build with the address sanitizer, which valgrind cannot run.
exec bash "$(dirname "$0")/../memcheck/memcheck.sh"
