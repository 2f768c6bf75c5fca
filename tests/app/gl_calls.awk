# Turns an `apitrace dump` of the viewer into the form of
# expected_gl_calls.txt: call numbers and GLX bookkeeping dropped, numbers
# printed to 6 significant digits, and every begin/end group folded into one
# line whose vertices are named by the outline index they match (F for the
# front layer at z = 0.25, B for the back layer at z = -0.25).

BEGIN {
    # The logo's vertex table for the default parameters.
    split("0 0.3264 0.4825 1.7 1.7 2.2253 2.9175 2.1657 2.1657 2.3814 " \
          "2.1087 1.95 1.95 3.1902 3.4 1.7 1.7 0.6923 1.5011 1.1747", tableX, " ")
    split("0 0 0.575 0.575 0 0 0.825 0.825 0.575 0.575 " \
          "0.25 0.25 1.15 1.15 1.4 1.4 0.825 0.825 1.4 1.4", tableY, " ")
}

function near(a, b) { return a - b < 1e-4 && b - a < 1e-4 }

function vertexName(x, y, z,    i, layer) {
    layer = near(z, 0.25) ? "F" : near(z, -0.25) ? "B" : "?"
    for (i = 1; i <= 20; i++) {
        if (near(x, tableX[i]) && near(y, tableY[i])) {
            return layer (i - 1)
        }
    }
    return "?(" x "," y "," z ")"
}

function roundNumbers(text,    out, number) {
    out = ""
    while (match(text, /-?[0-9]+\.[0-9]+(e-?[0-9]+)?/)) {
        number = substr(text, RSTART, RLENGTH)
        out = out substr(text, 1, RSTART - 1) sprintf("%.6g", number + 0)
        text = substr(text, RSTART + RLENGTH)
    }
    return out text
}

/\/\/ fake/ { next }
!/^[0-9]+ gl/ { next }
{ sub(/^[0-9]+ /, "") }
/^glX/ && !/^glXSwapBuffers/ { next }
/^glXSwapBuffers/ { print "glXSwapBuffers()"; next }

/^glBegin/ { group = ""; inGroup = 1; next }
inGroup && /^glNormal3f/ {
    gsub(/[a-z]+ = /, "")
    sub(/^glNormal3f/, "normal")
    group = group $0
    next
}
inGroup && /^glVertex3fv/ {
    sub(/.*\{/, "")
    sub(/\}.*/, "")
    split($0, v, ", *")
    group = group " " vertexName(v[1] + 0, v[2] + 0, v[3] + 0)
    next
}
inGroup && /^glEnd/ { print "quad " group; inGroup = 0; next }

{ print roundNumbers($0) }
