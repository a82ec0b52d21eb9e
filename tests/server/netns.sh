#!/bin/bash
# Runs a command in a network namespace of its own whose only interface is the loopback,
# with multicast on so SSDP works there. Nothing the command sends can leave this machine.
# Exits 77 (a skip for CTest) where namespaces cannot be made, saying why.
set -u
if [[ "${LUMO_IN_NETNS:-}" != "1" ]]; then
    if ! command -v unshare >/dev/null || ! command -v ip >/dev/null; then
        echo "SKIP: unshare or ip is missing" >&2
        exit 77
    fi
    if [[ $(id -u) -eq 0 ]]; then
        unshare --net true 2>/dev/null || { echo "SKIP: unshare --net is refused here" >&2; exit 77; }
        exec unshare --net env LUMO_IN_NETNS=1 "$0" "$@"
    fi
    # As another user, a user namespace may still give a network namespace of one's own.
    if unshare --user --map-root-user --net true 2>/dev/null; then
        exec unshare --user --map-root-user --net env LUMO_IN_NETNS=1 "$0" "$@"
    fi
    echo "SKIP: network namespaces are not available here (not root, no user namespaces)" >&2
    exit 77
fi
ip link set lo up || { echo "SKIP: cannot bring lo up in the namespace" >&2; exit 77; }
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo 2>/dev/null || true
exec "$@"
