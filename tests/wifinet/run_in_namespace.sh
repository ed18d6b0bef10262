#!/bin/sh
# Runs a test program whole inside a network namespace of its own: "unshare -n" (root), else
# "unshare -rn" (a user namespace too, for a user). Listing the tests needs no namespace. When
# neither is allowed, the program runs without one and its tests skip with the reason; as root a
# refused "unshare -n" is a failure instead.
for argument in "$@"; do
  case "$argument" in
    --gtest_list_tests) exec "$@" ;;
  esac
done

if reason=$(unshare -n true 2>&1); then
  exec unshare -n "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
  echo "unshare -n refused for root: $reason" >&2
  exit 1
fi
if reason2=$(unshare -rn true 2>&1); then
  exec unshare -rn "$@"
fi
MFP_NETNS_UNAVAILABLE="no network namespace: unshare -n: $reason; unshare -rn: $reason2"
export MFP_NETNS_UNAVAILABLE
exec "$@"
