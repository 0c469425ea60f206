#include "study_render.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <stdexcept>

#include "output_file.h"

namespace study {

namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

void setPen(cairo_t* cr, const Pen& pen)
{
    cairo_set_source_rgba(cr, pen.colour.r, pen.colour.g, pen.colour.b, pen.colour.a);
    cairo_set_line_width(cr, pen.width);
    cairo_set_dash(cr, pen.dash.data(), static_cast<int>(pen.dash.size()), 0);
}

void clipTo(cairo_t* cr, const Box& frame, bool clipped)
{
    cairo_reset_clip(cr);
    if (clipped) {
        cairo_rectangle(cr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
        cairo_clip(cr);
    }
}

void draw(cairo_t* cr, const Picture& p)
{
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    for (const Polyline& l : p.lines) {
        if (l.points.empty()) {
            continue;
        }
        clipTo(cr, p.frame, l.clipped);
        setPen(cr, l.pen);
        cairo_move_to(cr, l.points.front().x, l.points.front().y);
        for (const PagePoint& q : l.points) {
            cairo_line_to(cr, q.x, q.y);
        }
        if (l.filled) {
            cairo_close_path(cr);
            cairo_fill(cr);
        } else {
            cairo_stroke(cr);
        }
    }
    for (const PageArc& a : p.arcs) {
        clipTo(cr, p.frame, a.clipped);
        setPen(cr, a.pen);
        cairo_new_sub_path(cr);
        // Counter-clockwise on the page, whose y runs downwards.
        cairo_arc_negative(cr, a.centre.x, a.centre.y, a.radius, -a.start, -a.end);
        if (a.filled) {
            cairo_fill(cr);
        } else {
            cairo_stroke(cr);
        }
    }
    cairo_reset_clip(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    for (const Label& l : p.labels) {
        cairo_set_source_rgba(cr, l.colour.r, l.colour.g, l.colour.b, l.colour.a);
        cairo_set_font_size(cr, l.size);
        cairo_text_extents_t e;
        cairo_text_extents(cr, l.text.c_str(), &e);
        const double dx = l.align == Align::left     ? 0.0
                          : l.align == Align::centre ? -e.x_advance / 2
                                                     : -e.x_advance;
        cairo_save(cr);
        cairo_translate(cr, l.at.x, l.at.y);
        if (l.vertical) {
            cairo_rotate(cr, -3.141592653589793 / 2);
        }
        cairo_move_to(cr, dx, 0);
        cairo_show_text(cr, l.text.c_str());
        cairo_restore(cr);
    }
}

} // namespace

void renderPicture(const Picture& picture, const std::string& path)
{
    const std::optional<ImageFormat> format = imageFormatOf(path);
    if (!format) {
        throw std::runtime_error("'" + path + "': the picture's name must end in .svg, .png or .pdf");
    }
    std::string bytes;
    cairo_surface_t* surface = nullptr;
    switch (*format) {
    case ImageFormat::svg:
        surface = cairo_svg_surface_create_for_stream(append, &bytes, picture.width, picture.height);
        break;
    case ImageFormat::pdf:
        surface = cairo_pdf_surface_create_for_stream(append, &bytes, picture.width, picture.height);
        break;
    case ImageFormat::png:
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(picture.width),
                                             static_cast<int>(picture.height));
        break;
    }
    cairo_t* cr = cairo_create(surface);
    draw(cr, picture);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status == CAIRO_STATUS_SUCCESS && *format == ImageFormat::png) {
        status = cairo_surface_write_to_png_stream(surface, append, &bytes);
    }
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) {
        status = cairo_surface_status(surface);
    }
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cannot draw '" + path + "': " + cairo_status_to_string(status));
    }
    egm::io::writeOutput(path, bytes, "picture");
}

} // namespace study
