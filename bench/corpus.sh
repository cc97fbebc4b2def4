# The inputs every bench compares on (sourced, not run).
#
# make_corpus DIR: makes, where missing, the three files of DIR: headers.tar (the C++
# headers, about 12 MB of code), libstdc++.so.6 (2 MB of machine code) and
# licenses.txt (the licence texts, 0.3 MB of English prose).
make_corpus() {
    mkdir -p "$1"
    [ -f "$1/headers.tar" ] || tar cf "$1/headers.tar" -C /usr/include c++
    [ -f "$1/libstdc++.so.6" ] || cp /usr/lib/x86_64-linux-gnu/libstdc++.so.6 "$1/"
    [ -f "$1/licenses.txt" ] || cat /usr/share/common-licenses/* >"$1/licenses.txt"
}
