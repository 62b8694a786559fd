"""Network namespaces of a test's own (as root; nothing leaves them)."""
import os
import subprocess
import sys

SKIP = 77


def sh(*command):
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL)


def enter_own_namespace(script, arguments):
    """Re-runs `script` with `arguments` in a network and mount namespace of its
    own and exits with its code; inside, prepares `ip netns` and returns.
    Exits 77 (skipped) without root."""
    if os.environ.get("RIVERRA_PEERS_INSIDE") != "1":
        if os.geteuid() != 0:
            print("skipped: network namespaces need root")
            sys.exit(SKIP)
        os.environ["RIVERRA_PEERS_INSIDE"] = "1"
        done = subprocess.run(["unshare", "--net", "--mount", "/usr/bin/python3", script, *arguments])
        sys.exit(done.returncode)
    # Own mounts, so that `ip netns` keeps its folder to this namespace.
    sh("mount", "--make-rprivate", "/")
    os.makedirs("/run/netns", exist_ok=True)
    sh("mount", "-t", "tmpfs", "tmpfs", "/run/netns")


def two_interfaces(near_ns, far_ns, far_device, far_address, more_interfaces=0):
    """`near_ns` gets a main interface rv-main (10.1.1.20, the default route)
    and a media interface rv-media (10.1.0.5); behind the media one sits
    `far_ns` with `far_device` at `far_address` and a multicast route.
    `more_interfaces` others (rv-more0 at 10.9.0.1, ...) come before them
    in the system's list."""
    sh("ip", "netns", "add", near_ns)
    sh("ip", "netns", "add", far_ns)
    inside = lambda ns, *command: sh("ip", "-n", ns, *command)
    for number in range(more_interfaces):
        device = f"rv-more{number}"
        sh("ip", "link", "add", device, "netns", near_ns, "type", "veth", "peer", device + "-end", "netns", near_ns)
        inside(near_ns, "address", "add", f"10.9.{number}.1/24", "dev", device)
        inside(near_ns, "link", "set", device, "up")
        inside(near_ns, "link", "set", device + "-end", "up")
    sh("ip", "link", "add", "rv-main", "netns", near_ns, "type", "veth", "peer", "rv-main-end", "netns", near_ns)
    sh("ip", "link", "add", "rv-media", "netns", near_ns, "type", "veth", "peer", far_device, "netns", far_ns)
    for ns, device, address in [(near_ns, "rv-main", "10.1.1.20/24"), (near_ns, "rv-media", "10.1.0.5/24"),
                                (far_ns, far_device, far_address + "/24")]:
        inside(ns, "address", "add", address, "dev", device)
    for ns, device in [(near_ns, "lo"), (near_ns, "rv-main"), (near_ns, "rv-main-end"),
                       (near_ns, "rv-media"), (far_ns, "lo"), (far_ns, far_device)]:
        inside(ns, "link", "set", device, "up")
    inside(near_ns, "route", "add", "default", "via", "10.1.1.1", "dev", "rv-main", "onlink")
    inside(far_ns, "route", "add", "224.0.0.0/4", "dev", far_device)


def routed(near_ns, router_ns, far_ns, far_device, far_address, near_made=False):
    """`near_ns` with an interface rv-up (10.2.0.5) whose route to
    10.3.0.0/24 (the default one, unless `near_made` says the namespace is
    there already with routes of its own) goes through `router_ns` (10.2.0.1
    there, 10.3.0.1 on the far side), which forwards unicast only; behind it
    `far_ns` with `far_device` at `far_address` (on 10.3.0.0/24) and a
    multicast route of its own. Multicast from either side stays on its
    side, as it does across a router without multicast routing."""
    for ns in (router_ns, far_ns) if near_made else (near_ns, router_ns, far_ns):
        sh("ip", "netns", "add", ns)
    inside = lambda ns, *command: sh("ip", "-n", ns, *command)
    sh("ip", "link", "add", "rv-up", "netns", near_ns, "type", "veth", "peer", "rv-down", "netns", router_ns)
    sh("ip", "link", "add", "rv-across", "netns", router_ns, "type", "veth", "peer", far_device, "netns", far_ns)
    for ns, device, address in [(near_ns, "rv-up", "10.2.0.5/24"), (router_ns, "rv-down", "10.2.0.1/24"),
                                (router_ns, "rv-across", "10.3.0.1/24"), (far_ns, far_device, far_address + "/24")]:
        inside(ns, "address", "add", address, "dev", device)
    for ns, device in [(near_ns, "lo"), (near_ns, "rv-up"), (router_ns, "lo"), (router_ns, "rv-down"),
                       (router_ns, "rv-across"), (far_ns, "lo"), (far_ns, far_device)]:
        inside(ns, "link", "set", device, "up")
    sh("ip", "netns", "exec", router_ns, "sysctl", "-q", "-w", "net.ipv4.ip_forward=1")
    if near_made:
        inside(near_ns, "route", "add", "10.3.0.0/24", "via", "10.2.0.1")
    else:
        inside(near_ns, "route", "add", "default", "via", "10.2.0.1")
        inside(near_ns, "route", "add", "224.0.0.0/4", "dev", "rv-up")
    inside(far_ns, "route", "add", "default", "via", "10.3.0.1")
    inside(far_ns, "route", "add", "224.0.0.0/4", "dev", far_device)
