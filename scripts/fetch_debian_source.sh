#!/usr/bin/env bash
# Fetches Debian's own source package SOURCE, at the version of the installed
# binary package BINARY (its -dev package), into DEST and prints the folder
# it was unpacked into.
#   usage: fetch_debian_source.sh SOURCE BINARY [DEST]
#   e.g.   fetch_debian_source.sh libpng1.6 libpng-dev build/windows-deps/src
#
# The deb-src entries live in a private apt configuration under DEST, so the
# machine's own sources, lists and caches are left untouched.
set -euo pipefail
cd "$(dirname "$0")/.."

[ $# -ge 2 ] || { echo "usage: fetch_debian_source.sh SOURCE BINARY [DEST]" >&2; exit 2; }
source_package=$1
binary_package=$2
dest=${3:-build/windows-deps/src}
version=$(dpkg-query -W -f='${Version}' "$binary_package")
upstream=${version%%-*}
upstream=${upstream#*:}

# The unpacked folder is SOURCE-UPSTREAM (zlib keeps its ".dfsg" suffix).
unpacked_folder() {
  find "$dest" -mindepth 1 -maxdepth 1 -type d -name "$source_package-$upstream*" -print -quit
}
existing=$( [ -d "$dest" ] && unpacked_folder || true)
if [ -n "$existing" ] && [ -f "$existing/.corvexel-unpacked" ]; then
  echo "$existing"
  exit 0
fi

apt_root=$(realpath -m "$dest/apt")
mkdir -p "$apt_root/lists/partial" "$apt_root/cache/archives/partial" "$apt_root/sources.list.d"
cat > "$apt_root/sources.list.d/debian-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES

apt_options=(
  -o "Dir::Etc::SourceList=/dev/null"
  -o "Dir::Etc::SourceParts=$apt_root/sources.list.d"
  -o "Dir::State::Lists=$apt_root/lists"
  -o "Dir::Cache=$apt_root/cache"
  -o "APT::Sandbox::User=root"
  -qq
)
# One update per fetch folder and run of the build is enough.
if [ ! -f "$apt_root/updated" ]; then
  apt-get "${apt_options[@]}" update >&2
  touch "$apt_root/updated"
fi
mkdir -p "$dest"
# The same version as the Linux build's library, so both builds decode and
# encode alike; if the archive has moved on since it was installed, the
# current source will do.
# Otherwise the versions the archive offers, newest first (a security
# update may be listed but not yet on the mirror).
fetched=0
if (cd "$dest" && apt-get "${apt_options[@]}" source "$source_package=$version" >&2); then
  fetched=1
else
  offered=$(apt-cache "${apt_options[@]}" showsrc "$source_package" |
            sed -n 's/^Version: //p' | sort -u -r -V)
  for candidate in $offered; do
    echo "fetch_debian_source: $source_package $version is not offered; trying $candidate" >&2
    if (cd "$dest" && apt-get "${apt_options[@]}" source "$source_package=$candidate" >&2); then
      fetched=1
      upstream=""
      break
    fi
  done
fi
if [ "$fetched" -eq 0 ]; then
  echo "fetch_debian_source: no source of $source_package could be fetched" >&2
  exit 1
fi
unpacked=$(unpacked_folder)
if [ -z "$unpacked" ] || [ ! -f "$unpacked/CMakeLists.txt" ]; then
  echo "fetch_debian_source: no $source_package source was unpacked into $dest" >&2
  exit 1
fi
touch "$unpacked/.corvexel-unpacked"
echo "$unpacked"
