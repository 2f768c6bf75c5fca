# The Debian package mirror this machine's apt uses, for the scripts that
# make bare Debian roots with debootstrap.
mirror=$(sed -n 's/^URIs: //p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
mirror=${mirror:-http://deb.debian.org/debian}
# mirror_has RELEASE: whether the mirror answers for that release.
mirror_has() {
    wget -q -T 20 -t 2 -O /dev/null "$mirror/dists/$1/InRelease"
}
