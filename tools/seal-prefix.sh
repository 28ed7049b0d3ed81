#!/bin/sh
# Seals a Wine prefix so that nothing run inside it reaches the host's files
# through a drive or a profile folder: keeps the c: drive, maps the drive
# letter Z: to ROOT (a folder inside the build tree) and removes every other
# entry of dosdevices (other drives, raw devices, serial ports); replaces
# every link under drive_c/users whose target lies outside ROOT (Wine links
# Desktop, Documents, Downloads, Music, Pictures, Videos and Templates to the
# host's home) with a real empty folder; and stops Wine from updating the
# prefix on its own, since an update links the profile folders again.
#
# Other drive letters stay only when they lead into ROOT (a test may map one
# to a scratch folder of its own).
#
# Usage: tools/seal-prefix.sh [--verify] PREFIX ROOT
# Run it after wineboot has made the prefix. Idempotent and cheap when the
# prefix is already sealed, so callers may run it before every start.
# --verify changes nothing: it lists every link that reaches outside and
# exits 1 if there is one.
set -e
verify=0
if [ "$1" = --verify ]; then verify=1; shift; fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--verify] PREFIX ROOT" >&2
  exit 2
fi
if [ ! -d "$1/dosdevices" ] || [ ! -d "$2" ]; then
  echo "seal-prefix: $1 is not a Wine prefix or $2 is not a folder" >&2
  exit 2
fi
PREFIX=$(cd "$1" && pwd -P)
ROOT=$(cd "$2" && pwd -P)
DRIVE=z:
# A ROOT that holds the host's home (or is /) would defeat the seal.
case "$HOME/" in "$ROOT"/*) ROOT=/ ;; esac
if [ "$ROOT" = / ]; then
  echo "seal-prefix: refusing ROOT $2: it holds the host's home or its root" >&2
  exit 2
fi

# True when the link's target (resolved) is ROOT or lies below it.
inside() {
  target=$(readlink -m "$1")
  case "$target" in "$ROOT"|"$ROOT"/*) return 0 ;; esac
  return 1
}

# Prints one line per entry that needs mending; nothing when sealed. One
# find and shell built-ins only: wine-run.sh calls this before every start.
faults() {
  [ -L "$PREFIX/dosdevices/$DRIVE" ] || echo "drive $PREFIX/dosdevices/$DRIVE missing"
  users=$PREFIX/drive_c/users
  [ -d "$users" ] || users=
  find "$PREFIX/dosdevices" $users -type l -printf '%p\t%l\n' |
  while IFS="$(printf '\t')" read -r link target; do
    case "$link" in
      "$PREFIX/dosdevices/c:")
        case "$target" in ../drive_c|"$PREFIX/drive_c") ;; *) echo "drive $link -> $target" ;; esac ;;
      "$PREFIX/dosdevices/$DRIVE")
        [ "$target" = "$ROOT" ] || echo "drive $link -> $target" ;;
      # A test may map a letter to a folder of its own inside ROOT.
      "$PREFIX"/dosdevices/?:) inside "$link" || echo "drive $link -> $target" ;;
      "$PREFIX"/dosdevices/?::) echo "drive $link -> $target" ;;
      # Serial and parallel ports (Wine links them to /dev/tty* at each
      # start) reach no files; any other link there goes.
      "$PREFIX"/dosdevices/*) [ -c "$link" ] || echo "device $link -> $target" ;;
      *) inside "$link" || echo "link $link -> $target" ;;
    esac
  done
  timestamp=
  [ -f "$PREFIX/.update-timestamp" ] && read -r timestamp < "$PREFIX/.update-timestamp"
  case "$timestamp" in disable*) ;; *) echo "updates $PREFIX/.update-timestamp not disabled" ;; esac
}

found=$(faults)
if [ "$verify" = 1 ]; then
  [ -z "$found" ] && exit 0
  echo "$found" >&2
  exit 1
fi
[ -z "$found" ] && exit 0

# Mend under a lock: test programs start side by side and each may call us.
(
  flock 8
  cd "$PREFIX/dosdevices"
  for entry in *; do
    [ -L "$entry" ] || continue
    case "$entry" in
      c:) [ "$(readlink -m "$entry")" = "$PREFIX/drive_c" ] || { rm -f "$entry"; ln -s ../drive_c c:; } ;;
      "$DRIVE") [ "$(readlink "$entry")" = "$ROOT" ] || rm -f "$entry" ;;
      ?:) inside "$PWD/$entry" || rm -f "$entry" ;;
      ?::) rm -f "$entry" ;;
      *) [ -c "$entry" ] || rm -f "$entry" ;;
    esac
  done
  [ -L "$DRIVE" ] || ln -s "$ROOT" "$DRIVE"
  if [ -d "$PREFIX/drive_c/users" ]; then
    find "$PREFIX/drive_c/users" -type l -printf '%p\t%l\n' |
    while IFS="$(printf '\t')" read -r link target; do
      if ! inside "$link"; then
        rm -f "$link"
        mkdir -p "$link"
      fi
    done
  fi
  # Wine updates a prefix by itself when its own version changes; "disable"
  # keeps it from linking the profile folders to the host's home again.
  echo disable > "$PREFIX/.update-timestamp"
) 8>"$PREFIX/.seal.lock"
