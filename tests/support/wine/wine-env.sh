# Shared settings of the Wine test scripts (sourced, not run).
#
# LUMENTA_WINEPREFIX   the Wine prefix of the tests (default: build/wine-prefix in the source tree)
# LUMENTA_WINE_SESSION set inside a running session (wine-session exports it)

lumenta_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
lumenta_wine_dir="$lumenta_root/tests/support/wine"
export WINEPREFIX="${LUMENTA_WINEPREFIX:-$lumenta_root/build/wine-prefix}"
export WINEDEBUG=-all
# No Mono or Gecko: nothing of ours needs them, and asking for them would stop the prefix's creation.
# No winemenubuilder: shortcuts made in the prefix (the installer's Start-menu entries) stay there
# instead of turning into menu entries and file associations of the Linux user.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

# Where the COM names of the tests point. Every COMn of lumenta_mapped_ports is mapped, once and for
# good, to the symbolic link $lumenta_port_links/COMn; a session (or wine-ports connect) re-points the
# link, which takes effect at the next open without restarting Wine.
#   COM5, COM6  the two ends of the null-modem cable (lumenta-null-modem)
#   COM7, COM8  unconnected; free for a test's own pseudo-terminal, e.g. the virtual dimmer's
#               (an unconnected port is listed, and hands out a handle, but is no serial device)
lumenta_port_links="$WINEPREFIX/lumenta-ports"
lumenta_mapped_ports=(COM5 COM6 COM7 COM8)
lumenta_unconnected="$lumenta_port_links/unconnected"
