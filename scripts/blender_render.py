"""Renders ovrik-logo's glb models as Blender shows them, beside the window.

Run by scripts/blender-check.sh inside Blender:

    blender -b --factory-startup --python scripts/blender_render.py -- \
        [--samples N] [--threads N] [--view-transform NAME] FOLDER VIEW...

For each VIEW, FOLDER holds VIEW.glb and VIEW.png, the program's own view
of the same scene with a transparent background. Each glb is imported with
Blender's glTF importer in each of its lighting modes, Standard (the glTF
light's intensity read in candela) and Unitless, into an empty scene whose
world gives no light, so that only the glb's spot light and its material's
emission light the logo. One Cycles frame is rendered from the glb's camera
at the view's size with a transparent film, into FOLDER/VIEW-MODE.png, and
compared with the program's view over the logo's pixels (alpha above a half
in the program's view): the mean colour, its saturation and hue, its
brightness against the window's, and the overlap of the two silhouettes.
A glb the importer cannot read gets one line saying why.
"""

import argparse
import colorsys
import os
import re
import sys
import tempfile

import bpy

MODES = (("SPEC", "Standard"), ("COMPAT", "Unitless"))


def arguments():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    parser = argparse.ArgumentParser(prog="blender_render.py")
    parser.add_argument("--samples", type=int, default=32)
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument(
        "--view-transform",
        default="",
        help="the colour management's view transform (default: Blender's)",
    )
    parser.add_argument("folder")
    parser.add_argument("views", nargs="+")
    return parser.parse_args(argv)


def empty_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    # Light from the world would brighten the logo beyond what the glb
    # asks for; the window has none either, beside its ambient share,
    # which the glb carries as its material's emission.
    world = bpy.data.worlds.new("dark")
    world.color = (0, 0, 0)
    scene.world = world
    return scene


def lighting_modes():
    """The importer's lighting modes; before it had them, one row for it."""
    operator = bpy.ops.import_scene.gltf.get_rna_type()
    option = operator.properties.get("export_import_convert_lighting_mode")
    if option is None:
        return [(None, "importer")]
    known = {item.identifier for item in option.enum_items}
    return [(mode, name) for mode, name in MODES if mode in known]


def import_glb(path, mode):
    """The importer's failure, or an empty string.

    Blender passes on only the start of the importer's traceback; the error
    itself, at its end, is read from what the importer writes on stderr.
    """
    options = {}
    if mode is not None:
        options["export_import_convert_lighting_mode"] = mode
    with tempfile.TemporaryFile("w+") as log:
        sys.stderr.flush()
        saved = os.dup(2)
        os.dup2(log.fileno(), 2)
        try:
            bpy.ops.import_scene.gltf(filepath=path, **options)
            return ""
        except RuntimeError as failure:
            sys.stderr.flush()
            log.seek(0)
            errors = re.findall(r"^\w+Error: .*", log.read(), re.MULTILINE)
            return errors[-1] if errors else str(failure).splitlines()[0]
        finally:
            os.dup2(saved, 2)
            os.close(saved)


def render(scene, size, args, out):
    camera = next(o for o in scene.objects if o.type == "CAMERA")
    scene.camera = camera
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = args.samples
    scene.cycles.use_denoising = False
    scene.cycles.seed = 1
    scene.render.threads_mode = "FIXED"
    scene.render.threads = args.threads
    scene.render.resolution_x, scene.render.resolution_y = size
    scene.render.resolution_percentage = 100
    scene.render.film_transparent = True
    if args.view_transform:
        scene.view_settings.view_transform = args.view_transform
    settings = scene.render.image_settings
    settings.file_format = "PNG"
    settings.color_mode = "RGBA"
    settings.color_depth = "8"
    scene.render.filepath = out
    bpy.ops.render.render(write_still=True)


def rgba(path):
    """A PNG's pixels as stored, bottom row first, 0 to 1, straight alpha."""
    image = bpy.data.images.load(path)
    image.colorspace_settings.name = "Non-Color"
    values = list(image.pixels)
    size = tuple(image.size)
    bpy.data.images.remove(image)
    return size, [values[i:i + 4] for i in range(0, len(values), 4)]


def logo_mean(window, picture):
    """The picture's mean colour, 0 to 255, over the window's logo."""
    logo = [i for i, p in enumerate(window) if p[3] > 0.5]
    count = max(len(logo), 1)
    return [sum(picture[i][c] for i in logo) * 255 / count for c in range(3)]


def overlap(window, picture):
    """The IoU of the two silhouettes, alpha above a half."""
    masks = [{i for i, p in enumerate(pixels) if p[3] > 0.5}
             for pixels in (window, picture)]
    return len(masks[0] & masks[1]) / max(len(masks[0] | masks[1]), 1)


def cells(view, name, mean, window_mean, iou, energy):
    def describe(rgb):
        hue, saturation, _ = colorsys.rgb_to_hsv(*(c / 255 for c in rgb))
        luma = 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2]
        return hue * 360, saturation, luma

    hue, saturation, luma = describe(mean)
    brightness = luma / max(describe(window_mean)[2], 1e-9)
    return [
        view,
        name,
        "(%.1f, %.1f, %.1f)" % tuple(mean),
        "%.2f" % saturation,
        "%.0f" % hue,
        "%.2f" % brightness,
        "%.3f" % iou,
        energy,
    ]


def row(cells):
    widths = (8, 9, 20, 5, 4, 7, 6, 8)
    return " ".join(str(c).ljust(w) for c, w in zip(cells, widths)).rstrip()


def main():
    args = arguments()
    print(f"blender-check: Blender {bpy.app.version_string}")
    transform = args.view_transform
    if not transform:
        transform = empty_scene().view_settings.view_transform
    header = ["view", "mode", "mean RGB", "sat", "hue", "bright", "IoU",
              "light W"]
    lines = []
    for view in args.views:
        glb = os.path.join(args.folder, view + ".glb")
        size, window = rgba(os.path.join(args.folder, view + ".png"))
        window_mean = logo_mean(window, window)
        lines.append(row(cells(view, "window", window_mean, window_mean,
                               1, "-")))
        for mode, name in lighting_modes():
            scene = empty_scene()
            failure = import_glb(glb, mode)
            if failure:
                lines.append(row([view, name, "import failed: " + failure]))
                continue
            lights = [o.data for o in scene.objects if o.type == "LIGHT"]
            out = os.path.join(args.folder, f"{view}-{name.lower()}.png")
            render(scene, size, args, out)
            picture = rgba(out)[1]
            energy = "%.4g" % lights[0].energy if lights else "none"
            lines.append(row(cells(view, name, logo_mean(window, picture),
                                   window_mean, overlap(window, picture),
                                   energy)))
    # After a new line: Blender leaves the importer's report unfinished.
    print(f"\nblender-check: Cycles, {args.samples} samples, "
          f"view transform {transform}")
    print(row(header))
    print("\n".join(lines))


main()
