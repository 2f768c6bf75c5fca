# Turns an `apitrace dump` of the viewer into the form of expected_gl_calls.txt:
# call numbers and GLX bookkeeping dropped, each begin/end group folded to the outline indices of its vertices (F: front
# layer at z = 0.25, B: back layer at z = -0.25), and a run of groups with the
# same normal joined on one line.
BEGIN {
    # The logo's vertex table for the default parameters.
    split("0 0.3264 0.4825 1.7 1.7 2.2253 2.9175 2.1657 2.1657 2.3814 2.1087 1.95 1.95 " \
          "3.1902 3.4 1.7 1.7 0.6923 1.5011 1.1747", tableX)
    split("0 0 0.575 0.575 0 0 0.825 0.825 0.575 0.575 0.25 0.25 1.15 1.15 1.4 1.4 " \
          "0.825 0.825 1.4 1.4", tableY)
}
function near(a, b) { return a - b < 1e-4 && b - a < 1e-4 }
function flush() { if (quads != "") print "quads " normal ":" quads; quads = "" }
/\/\/ fake/ || !/^[0-9]+ gl/ { next }
{ sub(/^[0-9]+ /, "") }
/^glX/ { if (!/^glXSwapBuffers/) next; $0 = "glXSwapBuffers()" }
/^glBegin/ { group = ""; next }
/^glNormal3f/ { gsub(/[a-z]+ = /, ""); sub(/^glNormal3f/, "normal"); groupNormal = $0; next }
/^glVertex3fv/ {
    split(substr($0, index($0, "{") + 1), v, /[,}] */)
    name = "?(" v[1] "," v[2] "," v[3] ")"
    for (i = 1; i <= 20; i++)
        if (near(v[1], tableX[i]) && near(v[2], tableY[i]))
            name = (near(v[3], 0.25) ? "F" : near(v[3], -0.25) ? "B" : "?") (i - 1)
    group = group " " name
    next
}
/^glEnd/ {
    if (groupNormal != normal) flush()
    normal = groupNormal; quads = quads (quads == "" ? "" : " |") group
    next
}
{ flush(); normal = ""; print }
